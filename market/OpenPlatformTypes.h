#pragma once
// Choices shared by the configuration, the records and the open-platform request.

// Where a results window's items come from: the marketplace's list-search page, or the open
// platform's affiliate material search (the configuration document's "search":"material").
enum class ResultSource {
    ListSearch,
    OpenPlatform,
};

// How open-platform requests are signed (the configuration document's "sign_method").
enum class SignMethod {
    Md5,        // MD5(secret + sorted name/value pairs + secret)
    HmacSha256, // HMAC-SHA256 of the sorted name/value pairs, keyed with the secret
};
