#include "app/CWatchSettingsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace yfx {

namespace {

int SavedInt(const char* key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = QSettings().value(QLatin1String(key), fallback).toInt(&ok);
    return ok ? std::clamp(value, low, high) : fallback;
}

QString FirstLine(const QString& text)
{
    return text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

int SavedWatchIntervalHours()
{
    return SavedInt(kWatchIntervalKey, kDefaultWatchIntervalHours, kMinWatchIntervalHours,
                    kMaxWatchIntervalHours);
}

int SavedWatchDropPercent()
{
    return SavedInt(kWatchDropPercentKey, kDefaultWatchDropPercent, kMinWatchDropPercent,
                    kMaxWatchDropPercent);
}

bool UserInstanceRuns(const SystemctlAnswer& answer)
{
    const QString state = FirstLine(answer.out);
    return answer.started && !state.isEmpty() && state != QLatin1String("offline") &&
           state != QLatin1String("unknown");
}

TimerState TimerStateOf(const SystemctlAnswer& answer)
{
    if (!answer.started)
        return TimerState::NoUserInstance;
    const QString state = FirstLine(answer.out);
    if (state == QLatin1String("enabled") || state == QLatin1String("enabled-runtime"))
        return TimerState::Enabled;
    if (state == QLatin1String("disabled"))
        return TimerState::Disabled;
    return TimerState::NotInstalled; // "not-found", or nothing on stdout and the reason on stderr
}

} // namespace yfx

using yfx::TimerState;

CWatchSettingsPage::CWatchSettingsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("watchPage"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("关注的商品降价时，程序通过桌面通知提醒你：价格达到目标价、"
                                            "比上次提醒时降低了下面的百分比，或创下历史新低。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    m_interval = new QSpinBox(this);
    m_interval->setObjectName(QStringLiteral("watchInterval"));
    m_interval->setRange(yfx::kMinWatchIntervalHours, yfx::kMaxWatchIntervalHours);
    m_interval->setSuffix(QStringLiteral(" 小时"));
    m_interval->setValue(yfx::SavedWatchIntervalHours());
    form->addRow(QStringLiteral("检查间隔(&I)："), m_interval);
    m_percent = new QSpinBox(this);
    m_percent->setObjectName(QStringLiteral("watchPercent"));
    m_percent->setRange(yfx::kMinWatchDropPercent, yfx::kMaxWatchDropPercent);
    m_percent->setSuffix(QStringLiteral(" %"));
    m_percent->setValue(yfx::SavedWatchDropPercent());
    form->addRow(QStringLiteral("降价幅度(&P)："), m_percent);
    layout->addLayout(form);

    m_timer = new QCheckBox(QStringLiteral("程序关闭时也定时检查(&T)"), this);
    m_timer->setObjectName(QStringLiteral("watchTimer"));
    layout->addWidget(m_timer);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("watchTimerNote"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    layout->addStretch(1);

    connect(m_timer, &QCheckBox::clicked, this, &CWatchSettingsPage::OnToggled);
    Show(TimerState::Asking);
    Run({QStringLiteral("--user"), QStringLiteral("is-system-running")}, &CWatchSettingsPage::OnRunning);
}

CWatchSettingsPage::~CWatchSettingsPage()
{
    // a switch under way finishes after the page has gone; only its answer is dropped
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->setParent(nullptr);
        connect(m_process, &QProcess::finished, m_process, &QObject::deleteLater);
        connect(m_process, &QProcess::errorOccurred, m_process, &QObject::deleteLater);
    }
}

void CWatchSettingsPage::Save()
{
    QSettings settings;
    settings.setValue(QLatin1String(yfx::kWatchIntervalKey), m_interval->value());
    settings.setValue(QLatin1String(yfx::kWatchDropPercentKey), m_percent->value());
}

void CWatchSettingsPage::Run(const QStringList& arguments,
                             void (CWatchSettingsPage::*done)(const yfx::SystemctlAnswer&))
{
    auto* process = new QProcess(this);
    m_process = process;
    auto finish = [this, process, done](bool started) {
        yfx::SystemctlAnswer answer;
        answer.started = started;
        if (started) {
            answer.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
            answer.out = QString::fromLocal8Bit(process->readAllStandardOutput());
            answer.err = QString::fromLocal8Bit(process->readAllStandardError());
        }
        if (m_process == process)
            m_process = nullptr;
        process->deleteLater();
        (this->*done)(answer);
    };
    connect(process, &QProcess::finished, this, [finish] { finish(true); });
    connect(process, &QProcess::errorOccurred, this, [finish, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->disconnect();
            finish(false);
        }
    });
    process->start(QStringLiteral("systemctl"), arguments);
}

void CWatchSettingsPage::OnRunning(const yfx::SystemctlAnswer& answer)
{
    if (!yfx::UserInstanceRuns(answer)) {
        Show(TimerState::NoUserInstance);
        return;
    }
    Run({QStringLiteral("--user"), QStringLiteral("is-enabled"), QLatin1String(yfx::kCheckTimerUnit)},
        &CWatchSettingsPage::OnIsEnabled);
}

void CWatchSettingsPage::OnIsEnabled(const yfx::SystemctlAnswer& answer)
{
    Show(yfx::TimerStateOf(answer));
}

void CWatchSettingsPage::OnToggled(bool on)
{
    m_timer->setEnabled(false);
    m_note->setText(on ? QStringLiteral("正在开启定时检查…") : QStringLiteral("正在关闭定时检查…"));
    Run({QStringLiteral("--user"), on ? QStringLiteral("enable") : QStringLiteral("disable"),
         QStringLiteral("--now"), QLatin1String(yfx::kCheckTimerUnit)},
        &CWatchSettingsPage::OnSwitched);
}

void CWatchSettingsPage::OnSwitched(const yfx::SystemctlAnswer& answer)
{
    if (!answer.started || answer.exitCode != 0) {
        // the box goes back to what the timer is
        const QString why =
            answer.started ? yfx::FirstLine(answer.err) : QStringLiteral("无法运行 systemctl");
        Show(m_state, QStringLiteral("未能切换定时检查：%1")
                          .arg(why.isEmpty() ? QStringLiteral("systemctl 失败") : why));
        return;
    }
    Run({QStringLiteral("--user"), QStringLiteral("is-enabled"), QLatin1String(yfx::kCheckTimerUnit)},
        &CWatchSettingsPage::OnIsEnabled);
}

void CWatchSettingsPage::Show(TimerState state, const QString& problem)
{
    m_state = state;
    m_timer->setChecked(state == TimerState::Enabled);
    m_timer->setEnabled(state == TimerState::Enabled || state == TimerState::Disabled);
    QString text;
    switch (state) {
    case TimerState::Asking:
        text = QStringLiteral("正在查询定时检查的状态…");
        break;
    case TimerState::NoUserInstance:
        text = QStringLiteral(
            "没有 systemd 用户实例，无法在程序关闭时定时检查；程序运行时仍会按上面的间隔检查。");
        break;
    case TimerState::NotInstalled:
        text = QStringLiteral("没有安装定时检查（%1）。").arg(QLatin1String(yfx::kCheckTimerUnit));
        break;
    case TimerState::Enabled:
        text = QStringLiteral("定时检查已开启：每 6 小时检查一次，错过的检查在开机后补上。");
        break;
    case TimerState::Disabled:
        text = QStringLiteral("定时检查已关闭。");
        break;
    }
    m_note->setText(problem.isEmpty() ? text : problem);
    if (state != TimerState::Asking)
        emit timerStateKnown(state);
}
