#pragma once
// The settings page "降价提醒": how often the running program checks the watched items, the
// drop in percent that alerts, and the systemd user timer that checks while the program is
// closed (yuefengxuan-check.timer, installed off). The two numbers are saved by Save (the
// dialog's OK); the timer is switched at once when its box is clicked, with
// `systemctl --user enable --now` / `disable --now`. systemctl runs asynchronously; until
// its answer the box is disabled. Without a systemd user instance (or without systemctl) the
// page says so and the box stays disabled. GUI thread only.
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QProcess;
class QSpinBox;

namespace yfx {
inline constexpr char kWatchIntervalKey[] = "watch/intervalHours";
inline constexpr char kWatchDropPercentKey[] = "watch/dropPercent";
inline constexpr int kDefaultWatchIntervalHours = 6;
inline constexpr int kMinWatchIntervalHours = 1;
inline constexpr int kMaxWatchIntervalHours = 168;
inline constexpr int kDefaultWatchDropPercent = 5;
inline constexpr int kMinWatchDropPercent = 1;
inline constexpr int kMaxWatchDropPercent = 90;
inline constexpr char kCheckTimerUnit[] = "yuefengxuan-check.timer";

// The saved settings (QSettings), the default for a missing or unreadable value, clamped to
// the range.
int SavedWatchIntervalHours();
int SavedWatchDropPercent();

// What one run of systemctl gave.
struct SystemctlAnswer {
    bool started = false; // false: systemctl could not be run
    int exitCode = 0;
    QString out;
    QString err;
};

enum class TimerState {
    Asking,         // systemctl has not answered yet
    NoUserInstance, // no systemd user instance (or no systemctl)
    NotInstalled,   // the unit is not installed
    Enabled,
    Disabled,
};

// Whether `systemctl --user is-system-running` found a user instance: it printed a state other
// than "offline" (a degraded instance answers with a non-zero exit code and still counts).
bool UserInstanceRuns(const SystemctlAnswer& answer);
// What `systemctl --user is-enabled UNIT` said of the unit.
TimerState TimerStateOf(const SystemctlAnswer& answer);
} // namespace yfx

class CWatchSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CWatchSettingsPage(QWidget* parent = nullptr);
    ~CWatchSettingsPage() override;

    // Saves the interval and the percentage.
    void Save();

    yfx::TimerState State() const { return m_state; }
    QSpinBox* IntervalBox() const { return m_interval; }
    QSpinBox* PercentBox() const { return m_percent; }
    QCheckBox* TimerBox() const { return m_timer; }
    QLabel* TimerNote() const { return m_note; }

signals:
    // systemctl has answered (after the page opened, and after each switch).
    void timerStateKnown(yfx::TimerState state);

private:
    // Runs systemctl with `arguments`, then `done` with its answer (never when the page went).
    void Run(const QStringList& arguments, void (CWatchSettingsPage::*done)(const yfx::SystemctlAnswer&));
    void OnRunning(const yfx::SystemctlAnswer& answer);
    void OnIsEnabled(const yfx::SystemctlAnswer& answer);
    void OnSwitched(const yfx::SystemctlAnswer& answer);
    void OnToggled(bool on);
    void Show(yfx::TimerState state, const QString& problem = {});

    QSpinBox* m_interval;
    QSpinBox* m_percent;
    QCheckBox* m_timer;
    QLabel* m_note;
    QProcess* m_process = nullptr; // the systemctl under way
    yfx::TimerState m_state = yfx::TimerState::Asking;
};
