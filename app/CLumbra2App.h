#pragma once
// The application object: works out the picture cache folder (and has it trimmed off the GUI
// thread) and the badge table before anything else, then starts the program (InitInstance)
// with its main frame. Commands: Ctrl+N opens an empty results window "Lumbra2 1",
// "Lumbra2 2", ...; Ctrl+O opens one titled with a chosen file's name. Qt's own texts are
// Chinese from the start. Between runs the program keeps the picture cache, its price memory
// (a file under the user's data folder) and whether it records; the main frame keeps its own
// settings (LocalConfiguration.h, QSettings); the workspace layout is never kept.
#include "market/AppState.h"
#include "market/PictureCache.h"

#include <QApplication>
#include <QPointer>

class CAnswerReportBox;
class CPriceMemory;
class QTranslator;

#include "app/CMainFrame.h"

class CLumbra2App : public QApplication {
    Q_OBJECT
public:
    CLumbra2App(int& argc, char** argv);
    ~CLumbra2App() override;

    // Creates the main frame and shows it at once, with what is known (the local files, the
    // documents kept from the last run); the start-up documents come in the background.
    // Returns at once. False ends the program. `announcementPeriodMs` is for tests (0: the
    // frame's own 30 s).
    bool InitInstance(int announcementPeriodMs = 0);
    // Before InitInstance: the bundled server of --demo serves this run.
    void SetDemoRunning(bool running) { m_bDemoRunning = running; }

    void LoadCustomState() {}
    void SaveCustomState() {}

    CMainFrame* MainFrame() const { return m_pMainWnd; }
    // The price memory InitInstance opened, null before.
    CPriceMemory* PriceMemory() const { return m_pPriceMemory; }
    // Qt's catalogue of its own texts in Chinese, when it is installed (qt6-translations-l10n).
    const QTranslator* QtTranslator() const { return m_pQtTranslator; }

    bool m_bHighColorImages = true;
    // The picture cache folder (market/PictureCache.h), ending with '/'; empty when no private
    // folder could be had (pictures then fail quietly).
    std::string m_strPictureCache;
    yfx::BadgeTable m_badgeIds;

public slots:
    void OnFileNew();
    void OnFileOpen();

private:
    bool LoadQtTranslations();
    void CleanState();
    void ApplyLook();

    QPointer<CMainFrame> m_pMainWnd;
    CPriceMemory* m_pPriceMemory = nullptr; // after the frame: the frame's windows hand it their items
    QTranslator* m_pQtTranslator = nullptr;
    CAnswerReportBox* m_pAnswerReports = nullptr; // the message box of unreadable answers
    int m_nNewCount = 0;
    bool m_bDemoRunning = false;
};
