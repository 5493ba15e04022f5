// Writes batches of 40 items to a store file through the store thread until it is killed. On
// standard output: "ready" once the store is open, then "committed N" after batch N is in the
// file. Items of batch N are "bN-0" .. "bN-39" at price N.
//   store_kill_child PATH FIRST_BATCH
#include "store/CPriceStore.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

using namespace yfx::store;

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    CPriceStore::Settings settings;
    settings.database.path = argv[1];
    settings.database.busyTimeoutMs = 10000;
    const long first = std::atol(argv[2]);
    std::promise<bool> opened;
    CPriceStore store(settings, [&](const StoreStatus& s) { opened.set_value(s.state != StoreStatus::State::Unavailable); });
    if (!opened.get_future().get())
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (long batch = first;; ++batch) {
        std::vector<Sighting> sightings;
        for (int i = 0; i < 40; ++i) {
            Sighting s;
            s.key = {ResultSource::ListSearch, "b" + std::to_string(batch) + "-" + std::to_string(i)};
            s.title = "商品 " + s.key.itemId;
            s.price = batch;
            sightings.push_back(std::move(s));
        }
        std::promise<int> written;
        store.Record(std::move(sightings), [&](int n) { written.set_value(n); });
        if (written.get_future().get() != 40)
            return 1;
        std::printf("committed %ld\n", batch); // one write: a kill never cuts a line
        std::fflush(stdout);
    }
}
