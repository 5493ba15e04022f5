#pragma once
// What results windows ask of the application without knowing its classes: the main frame's
// configuration values, the shared picture folder and the badge table. The application sets
// these once at start; a results window without a host (no main frame) filters nothing and a
// tile click does nothing.
#include "market/AppState.h"
#include "market/Configuration.h"
#include "market/PictureCache.h"

#include <string>

class IResultsHost {
public:
    virtual ~IResultsHost() = default;
    // The configuration the main frame read at its creation: key, secret, affiliate id,
    // seller nicknames to leave out.
    virtual const Configuration& HostConfiguration() const = 0;
    // True while the configuration is not known yet (a first start, a slow server, a keyring
    // that has not answered): a view that wants an answer waits in its loading state until the
    // host calls its ConfigurationKnown.
    virtual bool ConfigurationPending() const { return false; }
    // True when no source of results is configured at all: a view then says how to get one
    // instead of searching.
    virtual bool NoSourceConfigured() const { return false; }
    // The links of that text: the data source's settings, and the bundled marketplace server
    // started for this run (after which the view searches again).
    virtual void OpenSourceSettings() {}
    virtual void UseDemoData() {}
};

// The application's main window as a results host, or null when there is none or it is not
// the main frame. GUI thread only.
IResultsHost* MainResultsHost();
void SetMainResultsHost(IResultsHost* host);

// The picture folder (ends with '/', or empty when none could be had). Set once at start,
// before any results window exists; read from any thread afterwards.
const std::string& PictureFolder();
void SetPictureFolder(const std::string& folder);
// The picture cache kept in that folder (its budget kPictureCacheBudget), null without a
// folder. Made by SetPictureFolder; any thread.
yfx::PictureCache* SharedPictureCache();

// Credit level -> badge resource id (315..334), the application's table.
const yfx::BadgeTable& BadgeIds();
