#include "app/CSearchProbe.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "panes/CLumbraWnd.h"
#include "results/CLumbra2View.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int kAnswerTimeoutMs = 60000;
}

CSearchProbe::CSearchProbe(CMainFrame* frame, const QString& keyword, QObject* parent)
    : QObject(parent)
    , m_frame(frame)
    , m_strKeyword(keyword)
{
    QTimer::singleShot(0, this, &CSearchProbe::Search);
    QTimer::singleShot(kAnswerTimeoutMs, this, [this] { Report(QStringLiteral("no answer"), 1); });
}

void CSearchProbe::Search()
{
    if (!m_frame) {
        Report(QStringLiteral("no main window"), 1);
        return;
    }
    m_frame->SearchPane()->m_editKeyword->setText(m_strKeyword);
    m_frame->SearchPane()->OnSearchBySales();
    const QList<CChildFrame*> windows = m_frame->ResultsWindows();
    if (windows.isEmpty()) {
        Report(QStringLiteral("no results window"), 1);
        return;
    }
    CLumbra2View* view = windows.last()->View();
    auto report = [this, view] {
        if (view->Tiles().empty()) {
            Report(view->StatusText(), 1);
            return;
        }
        const QString source = view->Source() == ResultSource::OpenPlatform ? QStringLiteral("the open platform")
                                                                            : QStringLiteral("the list search");
        Report(QStringLiteral("%1 items from %2").arg(view->Tiles().size()).arg(source), 0);
    };
    if (!view->IsLoading()) // said at once (no source at all)
        report();
    else
        connect(view, &CLumbra2View::loadFinished, this, report);
}

void CSearchProbe::Report(const QString& text, int exitCode)
{
    if (m_bReported)
        return;
    m_bReported = true;
    const QByteArray line = QStringLiteral("search: %1\n").arg(text).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    QCoreApplication::exit(exitCode);
}
