#pragma once

#include <QString>

// A fresh handle_token for a portal request or session ("wrenlark" and
// random digits, valid in an object path).
QString portalHandleToken();

// The path the portal gives a request made with `token`:
// /org/freedesktop/portal/desktop/request/SENDER/TOKEN, SENDER being this
// process's unique name on the session bus without the colon, its dots
// turned into underscores (":1.42" becomes "1_42").
QString portalRequestPath(const QString &token);
