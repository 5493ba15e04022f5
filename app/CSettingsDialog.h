#pragma once
// The program's settings (首选项): the list of pages at the left, the chosen page at the right,
// OK and Cancel below. Its own pages:
//   数据源    the demo, the user's open-platform application (AppKey, AppSecret, PID, signing)
//             or a configuration server; "测试连接" asks the platform (or the server) once with
//             what is typed and says what it answered.
//   搜索记录  clears the keywords the search pane remembers.
// Further pages come with AddPage. OK saves the data source: the secret into the desktop's
// keyring (where none answers the page says so and offers config.json, readable by the user
// only), then the user's config.json; the dialog closes once both are done.
#include "market/LocalConfiguration.h"
#include "results/AsyncFetch.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

// What the data source page shows and saves. Texts as typed (UTF-8 QStrings).
struct DataSourceSettings {
    DataSource choice = DataSource::OpenPlatform; // Demo, OpenPlatform or Server
    QString appKey;
    QString appSecret;
    QString pid;
    SignMethod signMethod = SignMethod::Md5;
    QString configServer;
    bool secretInFile = false; // the secret is kept in config.json, not in the keyring
};

class CSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `current`: what the pages show first; `userConfigFile`: the file OK writes.
    CSettingsDialog(const DataSourceSettings& current, const std::string& userConfigFile, QWidget* parent = nullptr);
    ~CSettingsDialog() override;

    // Adds a page after the others, listed under `title`; the dialog owns it from then on.
    // Returns its index. A page that saves something connects itself to accepted().
    int AddPage(const QString& title, QWidget* page);
    void ShowPage(int index);
    int PageCount() const;
    QListWidget* PageList() const { return m_pageList; }

    // What the data source page holds now.
    DataSourceSettings Values() const;
    // Why these values cannot be saved ("" when they can).
    static QString Check(const DataSourceSettings& values);
    // The open-platform choice with the AppKey field focused (the first-run link's way in).
    void FocusPlatformAccount();

    // The data source page (tests drive it).
    QRadioButton* m_radioDemo = nullptr;
    QRadioButton* m_radioPlatform = nullptr;
    QRadioButton* m_radioServer = nullptr;
    QLineEdit* m_editAppKey = nullptr;
    QLineEdit* m_editAppSecret = nullptr;
    QLineEdit* m_editPid = nullptr;
    QLineEdit* m_editBuyerIp = nullptr; // the buyer's address for exact postage (optional)
    QComboBox* m_comboSignMethod = nullptr;
    QLineEdit* m_editServer = nullptr;
    QPushButton* m_btnTest = nullptr;
    QLabel* m_labelTest = nullptr;        // the test's answer
    QLabel* m_labelSecret = nullptr;      // where the secret is kept, or why the keyring cannot have it
    QCheckBox* m_checkSecretInFile = nullptr;
    QLabel* m_labelSave = nullptr;        // why OK did not close the dialog
    QPushButton* m_btnClearHistory = nullptr;
    QDialogButtonBox* m_buttons = nullptr;

signals:
    // The data source was saved as `saved`: the program applies it now.
    void dataSourceSaved(const DataSourceSettings& saved);
    // "清除搜索记录" was clicked.
    void clearKeywordHistoryRequested();
    // "测试连接" has its answer (shown in m_labelTest).
    void testFinished(bool ok);
    // OK could not save (said in m_labelSave or m_labelSecret).
    void saveFailed();

public slots:
    // OK: saves, and closes once saved.
    void accept() override;
    void OnTestConnection();

private:
    QWidget* CreateDataSourcePage(const DataSourceSettings& current);
    QWidget* CreateHistoryPage();
    void UpdateEnabled();
    void ShowSecretPlace(bool inFile);
    // Writes config.json on a worker thread; closes the dialog when it is done.
    void WriteFile(const DataSourceSettings& values);
    void SetBusy(bool busy);
    void OnTestAnswer(const yfx::net::Result& result);

    std::string m_strUserConfigFile;
    QListWidget* m_pageList = nullptr;
    QStackedWidget* m_pages = nullptr;
    yfx::CAsyncFetch m_test;
    DataSource m_testedChoice = DataSource::OpenPlatform;
    bool m_bBusy = false;
};
