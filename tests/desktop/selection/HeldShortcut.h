#pragma once

// Alt+Space grabbed the way a global shortcut is (a passive grab on the
// root window through Qt's X connection). Xlib stays inside the .cpp: its
// macros (SelectionRequest, Status, None...) break C++ names.
class HeldShortcut
{
public:
    HeldShortcut();
    ~HeldShortcut();

    bool isGrabbed() const { return m_grabbed; }
    // Whether the server counts the left Alt key as pressed.
    static bool isAltDown();

private:
    bool m_grabbed = false;
};
