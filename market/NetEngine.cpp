#include "market/NetEngine.h"

#include "market/HttpClient.h"

#include <atomic>
#include <curl/curl.h>

namespace {

// "scheme://host:port" of an address; the per-host limit counts by it.
std::string HostKey(const std::string& url)
{
    std::string key;
    CURLU* u = curl_url();
    if (!u)
        return key;
    const std::string address = EscapeIllegalUrlBytes(url);
    if (curl_url_set(u, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        char* port = nullptr;
        curl_url_get(u, CURLUPART_SCHEME, &scheme, 0);
        curl_url_get(u, CURLUPART_HOST, &host, 0);
        curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
        key = std::string(scheme ? scheme : "") + "://" + (host ? host : "") + ":" + (port ? port : "");
        curl_free(scheme);
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(u);
    return key;
}

} // namespace

// What Cancel and the completion agree on: the callback runs under the gate's lock, and a
// cancelled gate never runs it.
struct CNetEngine::Gate {
    std::recursive_mutex mutex;
    std::atomic<bool> abort{false}; // read by the transfer's callbacks: stop writing now
    bool cancelled = false;
    Callback done;
};

struct CNetEngine::Job {
    Handle handle = 0;
    Key key{};
    std::string host;
    yfx::net::Request request;
    std::shared_ptr<Gate> gate;
    CURL* curl = nullptr;
    std::unique_ptr<yfx::net::Transfer> transfer;

    ~Job()
    {
        transfer.reset(); // removes a temporary file of an unfinished transfer
        if (curl)
            curl_easy_cleanup(curl);
    }
};

CNetEngine::CNetEngine()
{
    yfx::net::GlobalInit();
    CURLM* multi = curl_multi_init();
    m_multi = multi;
    if (multi) {
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kMaxPerHost));
        curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    }
    m_thread = std::thread(&CNetEngine::Run, this);
}

CNetEngine::~CNetEngine()
{
    std::vector<std::shared_ptr<Gate>> gates;
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
        for (auto& [handle, gate] : m_gates)
            gates.push_back(gate);
        m_gates.clear();
    }
    for (auto& gate : gates) {
        gate->abort = true;
        std::lock_guard lock(gate->mutex);
        gate->cancelled = true;
        gate->done = nullptr;
    }
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    if (m_thread.joinable())
        m_thread.join();
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

CNetEngine& CNetEngine::Shared()
{
    static CNetEngine engine;
    return engine;
}

CNetEngine::Handle CNetEngine::Submit(yfx::net::Request request, Callback done, int priority)
{
    if (!m_multi) {
        // no multi handle could be had: every exchange fails as an address that cannot be opened
        if (done)
            done(yfx::net::Result{-1, 0, {}, {}});
        return 0;
    }
    auto job = std::make_unique<Job>();
    job->request = std::move(request);
    job->gate = std::make_shared<Gate>();
    job->gate->done = std::move(done);
    Handle handle;
    {
        std::lock_guard lock(m_mutex);
        handle = m_nextHandle++;
        job->handle = handle;
        job->key = Key{priority, m_nextSeq++, handle};
        m_gates.emplace(handle, job->gate);
        m_submitted.push_back(std::move(job));
        ++m_nWaiting;
    }
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    return handle;
}

bool CNetEngine::Cancel(Handle handle)
{
    std::shared_ptr<Gate> gate;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_gates.find(handle);
        if (it == m_gates.end())
            return false;
        gate = it->second;
        m_gates.erase(it);
        m_cancelled.push_back(handle);
    }
    gate->abort = true;
    bool kept;
    {
        // waits for a callback that is running right now
        std::lock_guard lock(gate->mutex);
        kept = static_cast<bool>(gate->done);
        gate->cancelled = true;
        gate->done = nullptr;
    }
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    return kept;
}

void CNetEngine::Reprioritize(Handle handle, int priority)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_gates.contains(handle))
            return;
        m_reprioritised.emplace_back(handle, priority);
    }
    if (m_multi)
        curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

std::size_t CNetEngine::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_nRunning;
}

std::size_t CNetEngine::Waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_nWaiting;
}

std::uint64_t CNetEngine::BytesReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_nReceived;
}

void CNetEngine::TakeOperations()
{
    std::vector<std::unique_ptr<Job>> submitted;
    std::vector<Handle> cancelled;
    std::vector<std::pair<Handle, int>> moved;
    {
        std::lock_guard lock(m_mutex);
        submitted.swap(m_submitted);
        cancelled.swap(m_cancelled);
        moved.swap(m_reprioritised);
    }
    for (auto& job : submitted) {
        job->host = HostKey(job->request.url);
        m_queue.insert(job->key);
        const Handle handle = job->handle;
        m_jobs.emplace(handle, std::move(job));
    }
    for (Handle handle : cancelled)
        Abandon(handle);
    for (const auto& [handle, priority] : moved) {
        auto it = m_jobs.find(handle);
        if (it == m_jobs.end() || it->second->curl)
            continue; // gone, or started already
        m_queue.erase(it->second->key);
        it->second->key.priority = priority;
        m_queue.insert(it->second->key);
    }
}

void CNetEngine::Abandon(Handle handle)
{
    auto it = m_jobs.find(handle);
    if (it == m_jobs.end())
        return;
    Job& job = *it->second;
    if (job.curl) {
        curl_multi_remove_handle(static_cast<CURLM*>(m_multi), job.curl);
        --m_perHost[job.host];
        std::lock_guard lock(m_mutex);
        --m_nRunning;
    } else {
        m_queue.erase(job.key);
        std::lock_guard lock(m_mutex);
        --m_nWaiting;
    }
    m_jobs.erase(it);
}

void CNetEngine::StartWaiting()
{
    for (auto q = m_queue.begin(); q != m_queue.end();) {
        Job& job = *m_jobs.at(q->handle);
        int& running = m_perHost[job.host];
        if (running >= kMaxPerHost) {
            ++q;
            continue;
        }
        q = m_queue.erase(q);
        {
            std::lock_guard lock(m_mutex);
            --m_nWaiting;
            ++m_nRunning;
        }
        ++running;
        job.curl = curl_easy_init();
        job.transfer = std::make_unique<yfx::net::Transfer>(job.curl, std::move(job.request), &job.gate->abort);
        if (!job.transfer->Ready() ||
            curl_multi_add_handle(static_cast<CURLM*>(m_multi), job.curl) != CURLM_OK) {
            Complete(job, CURLE_FAILED_INIT);
            continue;
        }
        curl_easy_setopt(job.curl, CURLOPT_PRIVATE, reinterpret_cast<void*>(static_cast<std::uintptr_t>(job.handle)));
    }
}

void CNetEngine::Complete(Job& job, int curlCode)
{
    const Handle handle = job.handle;
    if (job.curl)
        curl_multi_remove_handle(static_cast<CURLM*>(m_multi), job.curl);
    --m_perHost[job.host];
    {
        std::shared_ptr<Gate> gate = job.gate;
        std::lock_guard lock(gate->mutex);
        if (!gate->cancelled && job.transfer) {
            yfx::net::Result result = job.transfer->Finish(curlCode);
            {
                std::lock_guard countLock(m_mutex);
                m_nReceived += result.received;
            }
            Callback done = std::move(gate->done);
            gate->done = nullptr;
            if (done)
                done(std::move(result));
        }
    }
    {
        // only now: a Cancel that comes while the callback runs must find the gate and wait
        std::lock_guard lock(m_mutex);
        --m_nRunning;
        m_gates.erase(handle);
    }
    m_jobs.erase(handle);
}

void CNetEngine::Run()
{
    CURLM* multi = static_cast<CURLM*>(m_multi);
    if (!multi)
        return;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_bStopping)
                break;
        }
        TakeOperations();
        StartWaiting();
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            void* priv = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
            const auto handle = static_cast<Handle>(reinterpret_cast<std::uintptr_t>(priv));
            const CURLcode rc = msg->data.result;
            auto it = m_jobs.find(handle);
            if (it != m_jobs.end())
                Complete(*it->second, rc);
        }
        StartWaiting(); // places freed by the exchanges that ended
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    // whatever is left ends without a callback
    std::vector<Handle> left;
    for (auto& [handle, job] : m_jobs)
        left.push_back(handle);
    for (Handle handle : left)
        Abandon(handle);
}
