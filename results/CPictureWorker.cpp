#include "results/CPictureWorker.h"

#include "market/HttpClient.h"
#include "results/CTBItemWnd.h"

#include <QMetaObject>
#include <QObject>

CPictureWorker::CPictureWorker(QObject* receiver, std::vector<CTBItemWnd*> tiles, std::atomic<bool>& stop)
    : m_receiver(receiver), m_tiles(std::move(tiles)), m_stop(stop)
{
}

CPictureWorker::~CPictureWorker()
{
    Stop();
}

void CPictureWorker::Start()
{
    if (m_thread.joinable() || m_stop.load())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
        ++m_runs;
    }
    m_thread = std::thread(&CPictureWorker::Run, this);
}

void CPictureWorker::Rebound()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
        if (m_running)
            return; // the run under way sees the new generation and goes over the tiles again
    }
    if (m_stop.load() || !TileNeedsFetch())
        return;
    if (m_thread.joinable())
        m_thread.join(); // the last run has ended or is returning
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
        ++m_runs;
    }
    m_thread = std::thread(&CPictureWorker::Run, this);
}

void CPictureWorker::Stop()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

bool CPictureWorker::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

std::set<std::string> CPictureWorker::Fetched() const
{
    std::lock_guard lock(m_mutex);
    return m_fetched;
}

int CPictureWorker::Runs() const
{
    std::lock_guard lock(m_mutex);
    return m_runs;
}

bool CPictureWorker::TileNeedsFetch() const
{
    std::lock_guard lock(m_mutex);
    for (CTBItemWnd* tile : m_tiles) {
        const std::string path = tile->PictureSource().path;
        if (!path.empty() && !m_fetched.contains(path))
            return true;
    }
    return false;
}

void CPictureWorker::Run()
{
    CHttpSession session;
    session.SetAbortFlag(&m_stop);

    auto post = [this](int index, bool fetched) {
        // Queued, never blocking: the GUI thread may be waiting for this thread right now. The
        // arguments are copied into the queued call; nothing of this thread is shared with it.
        QMetaObject::invokeMethod(m_receiver, "OnPictureNotice", Qt::QueuedConnection, Q_ARG(int, index),
                                  Q_ARG(bool, fetched));
    };

    for (;;) {
        unsigned generation;
        {
            std::lock_guard lock(m_mutex);
            generation = m_generation;
        }
        for (size_t i = 0; i < m_tiles.size(); ++i) {
            if (m_stop.load())
                break;
            const CTBItemWnd::PictureAddresses source = m_tiles[i]->PictureSource();
            if (source.path.empty())
                continue;
            bool fresh;
            {
                std::lock_guard lock(m_mutex);
                fresh = m_fetched.insert(source.path).second;
            }
            if (fresh) {
                if (HttpGetFile(session, source.thumbUrl, source.path) < 0 && !m_stop.load())
                    HttpGetFile(session, source.image, source.path);
                if (m_stop.load())
                    break;
            }
            // Also for a picture fetched earlier: another tile may show it now, or have shown
            // it while its file was still on the way.
            post(static_cast<int>(i), fresh);
        }
        std::lock_guard lock(m_mutex);
        if (m_stop.load() || m_generation == generation) {
            m_running = false;
            break;
        }
    }

    QMetaObject::invokeMethod(m_receiver, "OnPicturesDone", Qt::QueuedConnection);
}
