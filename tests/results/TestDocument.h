#pragma once
// A results document and a results host for tests: plain values, no application.
#include "results/IResultsDocument.h"
#include "results/ResultsHost.h"

#include <QStringList>

class TestDocument : public IResultsDocument {
public:
    TestDocument(const std::string& address, int order, const QString& title) : m_title(title)
    {
        m_data.m_strAddress = address;
        m_data.m_nOrder = order;
    }
    const yfx::ResultsDocData& DocData() const override { return m_data; }
    QString GetTitle() const override { return m_title; }
    void SetTitle(const QString& title) override
    {
        m_title = title;
        m_titlesSet << title;
    }

    yfx::ResultsDocData m_data;
    QString m_title;
    QStringList m_titlesSet; // every SetTitle, in order
};

class TestHost : public IResultsHost {
public:
    const Configuration& HostConfiguration() const override { return m_config; }
    bool ConfigurationPending() const override { return m_bPending; }
    bool NoSourceConfigured() const override { return m_bNoSource; }
    void OpenSourceSettings() override { ++m_nSettingsAsked; }
    // as the application's host: the demo server starts, and the configuration is pending until it runs
    void UseDemoData() override
    {
        ++m_nDemoAsked;
        m_bPending = true;
    }
    Configuration m_config;
    bool m_bPending = false;
    bool m_bNoSource = false;
    int m_nSettingsAsked = 0;
    int m_nDemoAsked = 0;
};

// Installs a host for the life of the object.
class ScopedHost {
public:
    explicit ScopedHost(IResultsHost* host) { SetMainResultsHost(host); }
    ~ScopedHost() { SetMainResultsHost(nullptr); }
};
