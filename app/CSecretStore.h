#pragma once
// The open-platform application's secret in the desktop's keyring (the Secret Service or
// KWallet, through QtKeychain), one entry per application key. Every call returns at once; the
// answer comes later on the GUI thread, and never once `receiver` is gone. A keyring that does
// not answer within `timeoutMs` counts as none. The secret is never written anywhere else by
// this class and never logged.
#include <QString>

#include <functional>

class QObject;

class CSecretStore {
public:
    enum class Outcome {
        Ok,        // read or written
        NotFound,  // no secret for that key (reading)
        NoKeyring, // no keyring answered, or it refused: `error` says what it said
    };
    struct Answer {
        Outcome outcome = Outcome::NoKeyring;
        QString secret; // what was read
        QString error;  // the keyring's own words, for the user
    };
    using Done = std::function<void(const Answer&)>;

    static constexpr int kTimeoutMs = 10000;

    static void Read(const QString& appKey, QObject* receiver, Done done, int timeoutMs = kTimeoutMs);
    static void Write(const QString& appKey, const QString& secret, QObject* receiver, Done done,
                      int timeoutMs = kTimeoutMs);

    // The keyring's service name and an application's entry in it.
    static QString Service();
    static QString EntryFor(const QString& appKey);
};
