#pragma once
// What the benchmarks share: a results document for a bare view, the process's resident
// memory, and letting queued work run.
#include "results/IResultsDocument.h"

#include <string>

namespace yfx::bench {

class BenchDocument : public IResultsDocument {
public:
    explicit BenchDocument(std::string address) { m_data.m_strAddress = std::move(address); }
    const yfx::ResultsDocData& DocData() const override { return m_data; }
    QString GetTitle() const override { return m_title; }
    void SetTitle(const QString& title) override { m_title = title; }

private:
    yfx::ResultsDocData m_data;
    QString m_title = QStringLiteral("自助搜索 - 销量");
};

// Resident memory of this process in MB (0 when /proc cannot be read).
double RssMb();

// Runs the application's pending events `rounds` times.
void Settle(int rounds);

} // namespace yfx::bench
