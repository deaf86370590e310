// Test harness for tests/support/gnome-session: unsafe mode lets tests use
// org.gnome.Shell.Eval, window introspection and the shell's Screenshot, and
// the Activities overview the shell starts in is left so windows get focus.
const Main = imports.ui.main;

function init() {}

function enable() {
    global.context.unsafe_mode = true;
    if (Main.layoutManager._startingUp)
        Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
    else
        Main.overview.hide();
}

function disable() {}
