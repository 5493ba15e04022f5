#include "app/CEndSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// The pipe the handler writes to: [0] read by the GUI thread, [1] written by the handler.
int g_pipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // a full pipe already holds a signal that is not yet handled: nothing is lost
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void SetAction(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals)
        sigaction(s, &action, nullptr);
}

} // namespace

CEndSignals::CEndSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (g_pipe[0] >= 0)
        return; // another object has the signals
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CEndSignals::OnReadable);
    SetAction(OnSignal);
}

CEndSignals::~CEndSignals()
{
    if (!m_notifier)
        return;
    SetAction(SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CEndSignals::OnReadable()
{
    unsigned char byte = 0;
    int signal = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        signal = signal ? signal : byte;
    if (signal == 0 || m_bSignalled)
        return;
    m_bSignalled = true;
    SetAction(SIG_DFL); // a second signal ends the program at once
    if (m_onSignal)
        m_onSignal(signal);
}
