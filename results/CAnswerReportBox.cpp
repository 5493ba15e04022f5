#include "results/CAnswerReportBox.h"

#include "market/TBRecord.h"
#include "res/GbkText.h"

#include <QMessageBox>

CAnswerReportBox::CAnswerReportBox(QObject* parent)
    : QObject(parent)
{
    SetErrorReporter([this](const std::string& caption, const std::string& text) { Report(caption, text); });
}

CAnswerReportBox::~CAnswerReportBox()
{
    SetErrorReporter({});
    delete m_box.data();
}

QMessageBox* CAnswerReportBox::Box() const
{
    return m_box;
}

void CAnswerReportBox::Report(const std::string& caption, const std::string& text)
{
    if (m_bBusy.exchange(true))
        return; // one box at a time
    QMetaObject::invokeMethod(
        this, [this, caption = yfx::QStringFromGbk(caption), text = QString::fromStdString(text)] { Show(caption, text); },
        Qt::QueuedConnection);
}

void CAnswerReportBox::Show(const QString& caption, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QObject::destroyed, this, [this] { m_bBusy = false; });
    m_box = box;
    ++m_nShown;
    box->show();
    emit boxShown(box);
}
