#include "app/CLumbra2App.h"

#include "controls/CControlAccessible.h"
#include "results/CViewAccessible.h"

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "res/Resources.h"
#include "results/CAnswerReportBox.h"
#include "results/CPictureLoader.h"
#include "results/CPriceMemory.h"
#include "results/PriceMemoryActions.h"
#include "results/ResultsHost.h"
#include "store/StoreFile.h"

#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QFileInfo>
#include <QSettings>
#include <QShortcut>
#include <QStyleFactory>
#include <QTimer>

#include <cstring>

namespace {

const QString kSettingsRoot = QStringLiteral("应用程序向导生成的本地应用程序");

// Texts of Qt's that its Chinese catalogue lacks: the file dialog's type column.
class CQtTextSupplement : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        struct Entry {
            const char* context;
            const char* source;
            const char* text;
        };
        static const Entry entries[] = {
            {"QAbstractFileIconProvider", "Drive", "驱动器"},
            {"QAbstractFileIconProvider", "Folder", "文件夹"},
            {"QAbstractFileIconProvider", "File Folder", "文件夹"},
            {"QAbstractFileIconProvider", "Shortcut", "快捷方式"},
            {"QAbstractFileIconProvider", "Alias", "替身"},
            {"QAbstractFileIconProvider", "Unknown", "未知"},
        };
        if (!context || !sourceText)
            return {};
        for (const Entry& e : entries)
            if (!std::strcmp(context, e.context) && !std::strcmp(sourceText, e.source))
                return QString::fromUtf8(e.text);
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

CLumbra2App::CLumbra2App(int& argc, char** argv)
    : QApplication(argc, argv)
    , m_strPictureCache(yfx::MakePictureCacheFolder())
{
    SetPictureFolder(m_strPictureCache);
    // what a killed run left, and what is past the budget, goes off the GUI thread
    CPictureLoader::TrimCacheLater();
    setOrganizationName(kSettingsRoot);
    // No display name: the window system would add it to the frame's caption, which starts
    // with the program's name already.
    setApplicationName(yfx::res::String(yfx::res::IDS_APP_TITLE));
    setDesktopFileName(QStringLiteral("yuefengxuan"));
    setWindowIcon(yfx::res::Icon(128));
    LoadQtTranslations();
    // what screen readers read of the self-painted controls and of the results views
    InstallControlsAccessibility();
    InstallResultsAccessibility();
}

bool CLumbra2App::LoadQtTranslations()
{
    // Qt's own texts (file dialog, the edits' and scroll bars' menus, standard buttons) in
    // Chinese, before the first widget exists. Without the catalogue they stay English.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    installTranslator(new CQtTextSupplement(this));
    auto* translator = new QTranslator(this);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    installTranslator(translator);
    m_pQtTranslator = translator;
    return true;
}

CLumbra2App::~CLumbra2App()
{
    delete m_pMainWnd;
    delete m_pPriceMemory; // the writes handed over are finished first
}

void CLumbra2App::CleanState()
{
    // the frame and its panes always come up in their built-in layout
    QSettings settings;
    settings.remove(QStringLiteral("Workspace"));
}

void CLumbra2App::ApplyLook()
{
    // a light silver look across the whole window
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(232, 235, 239));
    pal.setColor(QPalette::Button, QColor(226, 230, 235));
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(244, 246, 248));
    pal.setColor(QPalette::Highlight, QColor(92, 130, 180));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::WindowText, QColor(30, 30, 30));
    pal.setColor(QPalette::ButtonText, QColor(30, 30, 30));
    pal.setColor(QPalette::Text, QColor(20, 20, 20));
    pal.setColor(QPalette::Mid, QColor(190, 196, 204));
    pal.setColor(QPalette::Dark, QColor(160, 166, 175));
    // Disabled menu entries, buttons and texts are greyed out (the colours above are set for
    // every state at once).
    const QColor greyed(150, 154, 160);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        pal.setColor(QPalette::Disabled, role, greyed);
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(240, 242, 244));
    pal.setColor(QPalette::Disabled, QPalette::Highlight, QColor(190, 196, 204));
    setPalette(pal);
}

bool CLumbra2App::InitInstance(int announcementPeriodMs)
{
    CleanState();
    ApplyLook();

    // an unreadable result list is reported to the user, in a box of its own
    if (!m_pAnswerReports)
        m_pAnswerReports = new CAnswerReportBox(this);

    // The price memory opens its file on its own thread; the frame shows what it says.
    if (!m_pPriceMemory) {
        yfx::store::CPriceStore::Settings memory;
        memory.database.path = yfx::store::DefaultStorePath();
        memory.keepDays = yfx::SavedPriceKeepDays();
        m_pPriceMemory = new CPriceMemory(std::move(memory), yfx::SavedPriceRecording());
        SetMainPriceMemory(m_pPriceMemory);
    }

    m_pMainWnd = new CMainFrame(nullptr, announcementPeriodMs > 0 ? announcementPeriodMs : CMainFrame::kAnnouncementPeriodMs,
                                m_bDemoRunning);
    if (!m_pMainWnd)
        return false;

    auto* newShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), m_pMainWnd);
    newShortcut->setContext(Qt::ApplicationShortcut);
    connect(newShortcut, &QShortcut::activated, this, &CLumbra2App::OnFileNew);
    auto* openShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), m_pMainWnd);
    openShortcut->setContext(Qt::ApplicationShortcut);
    connect(openShortcut, &QShortcut::activated, this, &CLumbra2App::OnFileOpen);
    // the frame's menu command that leaves the program (the frame closes its windows itself)
    for (QAction* action : m_pMainWnd->findChildren<QAction*>()) {
        if (action->data().toInt() == 57665)
            connect(action, &QAction::triggered, m_pMainWnd.data(), &QWidget::close);
    }

    // the command line is ignored: a file name on it opens nothing
    // The window comes up at once; documents that arrive later are applied then, and searches
    // made before any configuration is known wait for it.
    m_pMainWnd->show();
    return true;
}

void CLumbra2App::OnFileNew()
{
    if (m_pMainWnd)
        m_pMainWnd->OpenEmptyResults(QStringLiteral("Lumbra2 %1").arg(++m_nNewCount));
}

void CLumbra2App::OnFileOpen()
{
    if (!m_pMainWnd)
        return;
    const QString file = QFileDialog::getOpenFileName(m_pMainWnd);
    if (!file.isEmpty())
        m_pMainWnd->OpenEmptyResults(QFileInfo(file).fileName());
}
