# A Wayland client for the extension's tests: a GTK window with the given
# application id and title that prints the key, focus and pointer events it
# receives, one a line, and obeys lines on its standard input: "title TEXT",
# "fullscreen" and "sync" (it prints "synced" once both sides have all the
# other sent).
import os
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


def on_input(fd, _condition):
    global unread
    data = os.read(fd, 65536)
    if not data:
        Gtk.main_quit()
        return False
    *lines, unread = (unread + data).split(b'\n')
    for line in lines:
        on_command(*line.decode().partition(' ')[::2])
    return True


def on_command(command, argument):
    if command == 'title':
        window.set_title(argument)
    elif command == 'fullscreen':
        window.fullscreen()
    elif command == 'sync':
        # After a round trip the shell has all this client sent and the
        # client all the shell sent; an idle callback runs once the events
        # it received are handled.
        Gdk.Display.get_default().sync()
        GLib.idle_add(lambda: say('synced'))


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
window.connect('leave-notify-event', lambda *_: say('pointer-leave'))
window.connect('window-state-event', lambda _w, e: say('fullscreen') if (
    e.changed_mask & e.new_window_state & Gdk.WindowState.FULLSCREEN) else None)
window.connect('destroy', Gtk.main_quit)
unread = b''
GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
window.show_all()
Gtk.main()
