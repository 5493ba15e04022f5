#include "app/CSettingsDialog.h"

#include "app/CSecretStore.h"
#include "market/Configuration.h"
#include "market/Endpoints.h"
#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "market/Texts.h"
#include "res/GbkText.h"
#include "results/OpenPlatformSettings.h"
#include "results/QueuedCall.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QString kCannotConnect = QStringLiteral("无法连接服务器");

QLabel* Note(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QPalette grey = label->palette();
    grey.setColor(QPalette::WindowText, QColor(100, 100, 100));
    label->setPalette(grey);
    return label;
}

bool IsServerAddress(const QString& s)
{
    return (s.startsWith(QLatin1String("http://")) || s.startsWith(QLatin1String("https://"))) &&
           s.indexOf(QLatin1String("://")) + 3 < s.size() && !s.contains(QLatin1Char(' '));
}

Configuration ApplicationOf(const DataSourceSettings& v)
{
    Configuration cfg;
    cfg.appKey = yfx::GbkFromQString(v.appKey.trimmed());
    cfg.appSecret = yfx::GbkFromQString(v.appSecret.trimmed());
    cfg.pid = yfx::GbkFromQString(v.pid.trimmed());
    cfg.signMethod = v.signMethod;
    cfg.source = ResultSource::OpenPlatform;
    return cfg;
}

SearchQuery TestQuery()
{
    SearchQuery q;
    q.cat.push_back('0'); // (an assignment of the literal trips GCC 12's -Wrestrict)
    q.keyword = yfx::GbkFromQString(QStringLiteral("手机"));
    return q;
}

} // namespace

CSettingsDialog::CSettingsDialog(const DataSourceSettings& current, const std::string& userConfigFile, QWidget* parent)
    : QDialog(parent)
    , m_strUserConfigFile(userConfigFile)
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("首选项"));
    m_pageList = new QListWidget(this);
    m_pageList->setObjectName(QStringLiteral("settingsPages"));
    m_pageList->setFixedWidth(120);
    m_pages = new QStackedWidget(this);
    connect(m_pageList, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSettingsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSettingsDialog::reject);
    m_labelSave = new QLabel(this);
    m_labelSave->setObjectName(QStringLiteral("saveResult"));
    m_labelSave->setWordWrap(true);
    QPalette red = m_labelSave->palette();
    red.setColor(QPalette::WindowText, QColor(190, 30, 30));
    m_labelSave->setPalette(red);
    m_labelSave->hide();

    auto* row = new QHBoxLayout;
    row->addWidget(m_pageList);
    row->addWidget(m_pages, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row, 1);
    column->addWidget(m_labelSave);
    column->addWidget(m_buttons);

    AddPage(QStringLiteral("数据源"), CreateDataSourcePage(current));
    AddPage(QStringLiteral("搜索记录"), CreateHistoryPage());
    ShowPage(0);
    resize(620, 470);
}

CSettingsDialog::~CSettingsDialog() = default;

int CSettingsDialog::AddPage(const QString& title, QWidget* page)
{
    m_pages->addWidget(page);
    m_pageList->addItem(title);
    return m_pages->count() - 1;
}

void CSettingsDialog::ShowPage(int index)
{
    m_pageList->setCurrentRow(index);
}

int CSettingsDialog::PageCount() const
{
    return m_pages->count();
}

QWidget* CSettingsDialog::CreateDataSourcePage(const DataSourceSettings& current)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("dataSourcePage"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);

    m_radioDemo = new QRadioButton(QStringLiteral("演示数据"), page);
    column->addWidget(m_radioDemo);
    column->addWidget(Note(QStringLiteral("程序自带的本地演示服务器：虚构的商品，不连网络。"), page));

    m_radioPlatform = new QRadioButton(QStringLiteral("淘宝开放平台"), page);
    column->addWidget(m_radioPlatform);
    auto* platform = new QFormLayout;
    platform->setContentsMargins(24, 0, 0, 0);
    m_editAppKey = new QLineEdit(current.appKey, page);
    m_editAppKey->setObjectName(QStringLiteral("appKey"));
    m_editAppSecret = new QLineEdit(current.appSecret, page);
    m_editAppSecret->setObjectName(QStringLiteral("appSecret"));
    m_editAppSecret->setEchoMode(QLineEdit::Password);
    m_editPid = new QLineEdit(current.pid, page);
    m_editPid->setObjectName(QStringLiteral("pid"));
    m_editPid->setPlaceholderText(QStringLiteral("mm_数字_数字_数字"));
    m_comboSignMethod = new QComboBox(page);
    m_comboSignMethod->addItem(QStringLiteral("MD5"), static_cast<int>(SignMethod::Md5));
    m_comboSignMethod->addItem(QStringLiteral("HMAC-SHA256"), static_cast<int>(SignMethod::HmacSha256));
    m_comboSignMethod->setCurrentIndex(current.signMethod == SignMethod::HmacSha256 ? 1 : 0);
    platform->addRow(QStringLiteral("AppKey："), m_editAppKey);
    platform->addRow(QStringLiteral("AppSecret："), m_editAppSecret);
    platform->addRow(QStringLiteral("PID："), m_editPid);
    platform->addRow(QStringLiteral("签名方式："), m_comboSignMethod);
    // what the platform needs for exact postage; never guessed or looked up
    m_editBuyerIp = new QLineEdit(QSettings().value(yfx::kBuyerIpKey).toString(), page);
    m_editBuyerIp->setObjectName(QStringLiteral("buyerIp"));
    m_editBuyerIp->setPlaceholderText(QStringLiteral("可留空；填写后邮费更准确"));
    platform->addRow(QStringLiteral("买家 IP："), m_editBuyerIp);
    m_labelSecret = Note(QString(), page);
    m_labelSecret->setObjectName(QStringLiteral("secretPlace"));
    platform->addRow(m_labelSecret);
    m_checkSecretInFile = new QCheckBox(QStringLiteral("把 AppSecret 保存在 config.json 中（只有你自己能读取）"), page);
    platform->addRow(m_checkSecretInFile);
    column->addLayout(platform);

    m_radioServer = new QRadioButton(QStringLiteral("配置服务器地址"), page);
    column->addWidget(m_radioServer);
    auto* server = new QFormLayout;
    server->setContentsMargins(24, 0, 0, 0);
    m_editServer = new QLineEdit(current.configServer, page);
    m_editServer->setObjectName(QStringLiteral("configServer"));
    m_editServer->setPlaceholderText(QStringLiteral("http://主机:端口"));
    server->addRow(QStringLiteral("地址："), m_editServer);
    column->addLayout(server);

    auto* test = new QHBoxLayout;
    m_btnTest = new QPushButton(QStringLiteral("测试连接"), page);
    m_labelTest = new QLabel(page);
    m_labelTest->setObjectName(QStringLiteral("testResult"));
    m_labelTest->setWordWrap(true);
    m_labelTest->setTextFormat(Qt::PlainText);
    test->addWidget(m_btnTest);
    test->addWidget(m_labelTest, 1);
    column->addLayout(test);
    column->addStretch(1);
    column->addWidget(Note(QStringLiteral("设置保存在 %1；AppSecret 默认保存在系统钥匙环中。")
                               .arg(QString::fromStdString(m_strUserConfigFile)),
                           page));

    switch (current.choice) {
    case DataSource::Demo:
        m_radioDemo->setChecked(true);
        break;
    case DataSource::Server:
        m_radioServer->setChecked(true);
        break;
    default:
        m_radioPlatform->setChecked(true);
        break;
    }
    m_checkSecretInFile->setChecked(current.secretInFile);
    ShowSecretPlace(current.secretInFile);
    for (QRadioButton* r : {m_radioDemo, m_radioPlatform, m_radioServer})
        connect(r, &QRadioButton::toggled, this, &CSettingsDialog::UpdateEnabled);
    connect(m_checkSecretInFile, &QCheckBox::toggled, this, &CSettingsDialog::ShowSecretPlace);
    connect(m_btnTest, &QPushButton::clicked, this, &CSettingsDialog::OnTestConnection);
    UpdateEnabled();
    return page;
}

QWidget* CSettingsDialog::CreateHistoryPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("historyPage"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Note(QStringLiteral("“自助搜索”的关键字栏会提示最近搜索过的 20 个关键字。这些记录只保存在本机。"), page));
    m_btnClearHistory = new QPushButton(QStringLiteral("清除搜索记录"), page);
    connect(m_btnClearHistory, &QPushButton::clicked, this, [this] {
        emit clearKeywordHistoryRequested();
        m_btnClearHistory->setText(QStringLiteral("已清除搜索记录"));
        m_btnClearHistory->setEnabled(false);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_btnClearHistory);
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    return page;
}

void CSettingsDialog::UpdateEnabled()
{
    const bool platform = m_radioPlatform->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_editAppKey, m_editAppSecret, m_editPid, m_comboSignMethod,
                                                      m_editBuyerIp, m_labelSecret, m_checkSecretInFile})
        w->setEnabled(platform && !m_bBusy);
    m_editServer->setEnabled(m_radioServer->isChecked() && !m_bBusy);
    m_btnTest->setEnabled(!m_radioDemo->isChecked() && !m_bBusy);
    if (m_radioDemo->isChecked())
        m_labelTest->clear();
}

void CSettingsDialog::ShowSecretPlace(bool inFile)
{
    m_labelSecret->setText(inFile ? QStringLiteral("AppSecret 保存在 config.json 中，文件只有你自己能读取。")
                                  : QStringLiteral("AppSecret 保存在系统钥匙环中。"));
}

void CSettingsDialog::FocusPlatformAccount()
{
    ShowPage(0);
    m_radioPlatform->setChecked(true);
    m_editAppKey->setFocus();
}

DataSourceSettings CSettingsDialog::Values() const
{
    DataSourceSettings v;
    v.choice = m_radioDemo->isChecked()     ? DataSource::Demo
               : m_radioServer->isChecked() ? DataSource::Server
                                            : DataSource::OpenPlatform;
    v.appKey = m_editAppKey->text().trimmed();
    v.appSecret = m_editAppSecret->text().trimmed();
    v.pid = m_editPid->text().trimmed();
    v.signMethod = static_cast<SignMethod>(m_comboSignMethod->currentData().toInt());
    v.configServer = m_editServer->text().trimmed();
    while (v.configServer.endsWith(QLatin1Char('/')))
        v.configServer.chop(1);
    v.secretInFile = m_checkSecretInFile->isChecked();
    return v;
}

QString CSettingsDialog::Check(const DataSourceSettings& v)
{
    if (v.choice == DataSource::OpenPlatform) {
        if (v.appKey.isEmpty() || v.appSecret.isEmpty() || v.pid.isEmpty())
            return QStringLiteral("请填写 AppKey、AppSecret 和 PID。");
        if (AdzoneIdOf(yfx::GbkFromQString(v.pid)).empty())
            return QStringLiteral("PID 应当形如 mm_数字_数字_数字（推广位的 PID）。");
    } else if (v.choice == DataSource::Server) {
        if (!IsServerAddress(v.configServer))
            return QStringLiteral("配置服务器地址应当以 http:// 或 https:// 开头。");
    }
    return {};
}

void CSettingsDialog::SetBusy(bool busy)
{
    m_bBusy = busy;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!busy);
    for (QRadioButton* r : {m_radioDemo, m_radioPlatform, m_radioServer})
        r->setEnabled(!busy);
    UpdateEnabled();
}

void CSettingsDialog::accept()
{
    if (m_bBusy)
        return;
    const DataSourceSettings v = Values();
    QString problem = Check(v);
    if (problem.isEmpty() && v.choice == DataSource::OpenPlatform && !yfx::SetBuyerIpSetting(m_editBuyerIp->text()))
        problem = QStringLiteral("买家 IP 应当是 IPv4 或 IPv6 地址，或留空。");
    m_labelSave->setVisible(!problem.isEmpty());
    m_labelSave->setText(problem);
    if (!problem.isEmpty()) {
        ShowPage(0);
        emit saveFailed();
        return;
    }
    if (v.choice != DataSource::OpenPlatform || v.secretInFile) {
        WriteFile(v);
        return;
    }
    SetBusy(true);
    m_labelSecret->setText(QStringLiteral("正在把 AppSecret 保存到系统钥匙环…"));
    CSecretStore::Write(v.appKey, v.appSecret, this, [this, v](const CSecretStore::Answer& a) {
        if (a.outcome == CSecretStore::Outcome::Ok) {
            WriteFile(v);
            return;
        }
        SetBusy(false);
        ShowPage(0);
        m_labelSecret->setText(QStringLiteral("系统钥匙环不可用（%1）。可以改为把 AppSecret 保存在 config.json 中，"
                                              "该文件只有你自己能读取。")
                                   .arg(a.error));
        m_checkSecretInFile->setFocus();
        emit saveFailed();
    });
}

void CSettingsDialog::WriteFile(const DataSourceSettings& v)
{
    using Members = std::vector<std::pair<std::string, std::optional<std::string>>>;
    Members members;
    auto text = [](const QString& s) { return std::optional<std::string>(s.toStdString()); };
    switch (v.choice) {
    case DataSource::Demo:
        members = {{"source", "demo"}};
        break;
    case DataSource::Server:
        members = {{"source", "server"}, {"config_server", text(v.configServer)}};
        break;
    default:
        members = {{"source", "platform"},
                   {"appkey", text(v.appKey)},
                   {"pid", text(v.pid)},
                   {"search", "material"},
                   {"sign_method", v.signMethod == SignMethod::HmacSha256 ? "hmac-sha256" : "md5"},
                   // the secret is the keyring's unless the user keeps it in the file
                   {"secret", v.secretInFile ? text(v.appSecret) : std::nullopt}};
        break;
    }
    SetBusy(true);
    struct Outcome {
        bool ok = false;
        std::string error;
    };
    // the file is flushed to the disk: not on the GUI thread
    yfx::RunInPoolThenCall(
        this,
        [path = m_strUserConfigFile, members] {
            Outcome o;
            o.ok = UpdateLocalConfigFile(path, members, o.error);
            return o;
        },
        [this, v](const Outcome& o) {
        SetBusy(false);
        if (!o.ok) {
            m_labelSave->setText(QStringLiteral("无法保存设置：%1").arg(QString::fromStdString(o.error)));
            m_labelSave->show();
            emit saveFailed();
            return;
        }
        ShowSecretPlace(v.secretInFile);
        emit dataSourceSaved(v);
        QDialog::accept();
    });
}

void CSettingsDialog::OnTestConnection()
{
    const DataSourceSettings v = Values();
    m_testedChoice = v.choice;
    const QString problem = Check(v);
    if (v.choice == DataSource::Demo)
        return;
    if (!problem.isEmpty()) {
        m_labelTest->setText(problem);
        emit testFinished(false);
        return;
    }
    yfx::net::Request request;
    if (v.choice == DataSource::OpenPlatform) {
        // one material search for "手机", signed with what was typed
        GatewayPost post = BuildMaterialSearchRequest(ApplicationOf(v), TestQuery());
        request.url = std::move(post.url);
        request.body = std::move(post.body);
        request.contentType = std::move(post.contentType);
        request.post = true;
    } else {
        request.url = v.configServer.toStdString() + "/set/config.jpg";
    }
    m_labelTest->setText(QStringLiteral("正在连接…"));
    m_test.Start(this, std::move(request), [this](const yfx::net::Result& r) { OnTestAnswer(r); });
}

void CSettingsDialog::OnTestAnswer(const yfx::net::Result& r)
{
    bool ok = false;
    QString text;
    if (r.code < 0) {
        text = kCannotConnect;
    } else if (m_testedChoice == DataSource::OpenPlatform) {
        MaterialAnswer answer;
        ok = ReadMaterialSearchAnswer(r.text, TestQuery(), answer);
        if (ok)
            text = QStringLiteral("连接成功：开放平台为“手机”找到了 %1 件商品。").arg(answer.records.size());
        else // as a results window says it
            text = yfx::QStringFromGbk(answer.message.empty() ? yfx::text::PlatformUnreadable() : answer.message);
    } else {
        Configuration cfg;
        ok = !r.text.empty() && ReadConfigurationText(r.code, r.text, cfg);
        text = ok ? QStringLiteral("连接成功：配置服务器回答了配置文档。")
                  : QStringLiteral("配置服务器的回答不是配置文档。");
    }
    m_labelTest->setText(text);
    emit testFinished(ok);
}
