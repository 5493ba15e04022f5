#include "bench/support/BenchSupport.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

namespace yfx::bench {

double RssMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Settle(int rounds)
{
    for (int i = 0; i < rounds; ++i)
        QApplication::processEvents();
}

} // namespace yfx::bench
