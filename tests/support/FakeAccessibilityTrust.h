#pragma once

#include "core/desktop/AccessibilityTrust.h"

// Trusted or not as told; a request grants trust only when grantOnRequest.
class FakeAccessibilityTrust : public AccessibilityTrust
{
public:
    bool isTrusted() override { return m_trusted; }
    bool requestTrust() override
    {
        ++m_requests;
        if (m_grantOnRequest)
            m_trusted = true;
        return m_trusted;
    }

    void setTrusted(bool trusted) { m_trusted = trusted; }
    void setGrantOnRequest(bool grant) { m_grantOnRequest = grant; }
    int requestCount() const { return m_requests; }

private:
    bool m_trusted = true;
    bool m_grantOnRequest = false;
    int m_requests = 0;
};
