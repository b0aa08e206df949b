# A Wayland client for the extension's tests: a GTK window with the given
# application id and title that prints the key, focus and pointer events it
# receives, one a line, and obeys lines on its standard input:
# "title TEXT" (it prints "titled" once the shell has the title) and
# "fullscreen".
import sys

import gi

gi.require_version('Gdk', '3.0')
gi.require_version('Gtk', '3.0')
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

MODIFIERS = [(Gdk.ModifierType.SHIFT_MASK, 'Shift'), (Gdk.ModifierType.CONTROL_MASK, 'Control'),
             (Gdk.ModifierType.MOD1_MASK, 'Alt'), (Gdk.ModifierType.SUPER_MASK, 'Super')]


def say(*words):
    print(*words, flush=True)


def on_key(_window, event):
    held = '+'.join(name for mask, name in MODIFIERS if event.state & mask) or '-'
    kind = 'press' if event.type == Gdk.EventType.KEY_PRESS else 'release'
    say(kind, Gdk.keyval_name(event.keyval), held)
    return True


def on_command(source, _condition):
    line = source.readline()
    if not line:
        Gtk.main_quit()
        return False
    command, _, argument = line.rstrip('\n').partition(' ')
    if command == 'title':
        window.set_title(argument)
        # Once the shell has answered a round trip, it has the new title.
        Gdk.Display.get_default().sync()
        say('titled')
    elif command == 'fullscreen':
        window.fullscreen()
    return True


app_id, title = sys.argv[1], sys.argv[2]
GLib.set_prgname(app_id)
window = Gtk.Window(title=title)
window.set_default_size(320, 200)
window.add_events(Gdk.EventMask.ENTER_NOTIFY_MASK | Gdk.EventMask.LEAVE_NOTIFY_MASK)
window.connect('key-press-event', on_key)
window.connect('key-release-event', on_key)
window.connect('focus-in-event', lambda *_: say('focus-in'))
window.connect('focus-out-event', lambda *_: say('focus-out'))
window.connect('enter-notify-event', lambda *_: say('pointer-enter'))
window.connect('window-state-event', lambda _w, e: say('fullscreen') if (
    e.changed_mask & e.new_window_state & Gdk.WindowState.FULLSCREEN) else None)
window.connect('destroy', Gtk.main_quit)
GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_command)
window.show_all()
Gtk.main()
