#pragma once
// The picture worker of a results view: one thread that downloads the pictures of the view's
// tiles one after the other, in tile order, on one connection object of its own (so the
// downloads reuse one kept-alive connection), and tells the GUI thread after each tile.
//
// For each tile it takes the addresses of the record the tile shows at that moment, fetches
// the thumbnail into the tile's picture file and, when that fails (negative result), the
// record's second picture address into the same file. A picture file is fetched at most once
// per worker. When the tiles are rebound while it runs (an ordering command), it goes over
// the tiles again for the pictures it has not fetched yet; when they are rebound after it
// ended, Rebound() starts it again if a tile now shows a picture it never fetched. So every
// tile ends up with its picture whatever the order of the user's commands.
//
// Stopping: the view's stop flag is read before every tile and also ends the download under
// way at once (the picture files are written whole or not at all). Stop() sets it and waits.
// The worker never waits for the GUI thread: its notices are posted.
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CTBItemWnd;
class QObject;

class CPictureWorker {
public:
    // The worker's notices are queued calls to two invokable methods (slots) of `receiver`,
    // run on the receiver's thread: OnPictureNotice(int index, bool fetched) after tile
    // `index` was handled (`fetched`: a download was made for it, whatever its outcome) and
    // OnPicturesDone() when a run has ended. The tiles are fixed for the worker's life and must
    // outlive it; so must `receiver` and `stop`, which belong to the owner (the owner's
    // destructor stops the worker first).
    CPictureWorker(QObject* receiver, std::vector<CTBItemWnd*> tiles, std::atomic<bool>& stop);
    ~CPictureWorker(); // Stop()
    CPictureWorker(const CPictureWorker&) = delete;
    CPictureWorker& operator=(const CPictureWorker&) = delete;

    // GUI thread. Starts the thread (once; later runs come from Rebound).
    void Start();
    // GUI thread, after tiles were rebound.
    void Rebound();
    // GUI thread. Sets the stop flag, ends the download under way and waits for the thread.
    void Stop();
    // True while a run is under way.
    bool Running() const;
    // The picture files fetched (or tried) so far, by local path.
    std::set<std::string> Fetched() const;
    // Number of runs started (1 after Start, more after rebinding once the worker had ended).
    int Runs() const;

private:
    void Run();
    bool TileNeedsFetch() const;

    QObject* m_receiver; // outlives the worker: the owner stops it first
    std::vector<CTBItemWnd*> m_tiles;
    std::atomic<bool>& m_stop;

    mutable std::mutex m_mutex; // guards the members below
    unsigned m_generation = 0;  // bumped by every rebind
    bool m_running = false;
    int m_runs = 0;
    std::set<std::string> m_fetched;

    std::thread m_thread; // GUI thread only
};
