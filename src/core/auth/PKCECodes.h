#pragma once

#include <QString>

// The proof key of one authorization-code sign-in: a random verifier kept
// here and its S256 challenge sent with the authorize request.
struct PKCECodes
{
    QString codeVerifier;
    QString codeChallenge;

    static constexpr int verifierLength = 43;

    // A fresh verifier and its challenge.
    static PKCECodes generate();
    // `length` characters drawn uniformly from the unreserved URL characters
    // (A-Z a-z 0-9 - . _ ~) with the system's secure generator.
    static QString randomString(int length);
    // SHA-256 of the verifier's UTF-8 bytes, Base64url without padding.
    static QString challenge(const QString &verifier);
};

// 32 secure random bytes, Base64url without padding (43 characters); a new
// one for every sign-in.
QString generateState();
