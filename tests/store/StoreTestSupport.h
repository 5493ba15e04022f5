#pragma once
// What the store's tests share: a private folder per test, sightings and records to store,
// and a plain connection to look into a store file.
#include "market/TBRecord.h"
#include "store/StoreTypes.h"

#include <cstdint>
#include <string>

namespace yfx::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A sighting of item `id` of the list search at the given price and postage (cents).
store::Sighting MakeSighting(const std::string& id, std::int64_t price, std::int64_t postage = 0);

// A record of the list search as an answer gives it (GBK texts).
CTBRecord MakeRecord(const std::string& id, const std::string& price, const std::string& ship,
                     const std::string& titleGbk);

// The result of `sql` (one value) on the file, through a connection of its own; "" on a fault.
std::string QueryText(const std::string& path, const std::string& sql);

} // namespace yfx::test
