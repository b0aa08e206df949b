# Aimset's GNOME Shell extension against the real shell (run it under
# with-gnome-shell.sh): real Wayland clients, keys typed through the shell's
# remote-desktop interface, and this process standing in for the app. The
# extension answers only a process whose executable is named "aimset": the
# test runs under a copy of Python by that name (tests/CMakeLists.txt).
import os
import subprocess
import sys
import unittest

import gi

gi.require_version('Gdk', '3.0')
gi.require_version('Gtk', '3.0')
from gi.repository import Gdk, Gio, GLib, Gtk  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOW = [sys.executable, os.path.join(HERE, 'test_window.py')]
SHELL = ('org.aimset.Shell', '/org/aimset/Shell', 'org.aimset.Shell1')
DEADLINE_MS = 10000
PANEL_TITLE = 'Aimset panel: question'
# Linux input key codes, as the remote-desktop interface takes them.
KEY_LEFTSHIFT, KEY_LEFTALT, KEY_F12, KEY_TAB = 42, 56, 88, 15

bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(name, args=None, reply='()', interface=SHELL):
    result = bus.call_sync(interface[0], interface[1], interface[2], name, args,
                           GLib.VariantType(reply), Gio.DBusCallFlags.NONE, DEADLINE_MS, None)
    return result.unpack()


def wait_for(condition, what):
    """Runs the main loop until condition() holds; fails after the deadline."""
    expired = []
    timer = GLib.timeout_add(DEADLINE_MS, lambda: expired.append(True))
    while not condition():
        if expired:
            raise AssertionError(f'timed out waiting for {what() if callable(what) else what}')
        GLib.MainContext.default().iteration(True)
    GLib.source_remove(timer)


class Keyboard:
    """Keys pressed as a person would, through the shell's remote desktop."""

    def __init__(self):
        rd = ('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop',
              'org.gnome.Mutter.RemoteDesktop')
        (path,) = call('CreateSession', reply='(o)', interface=rd)
        self.session = (rd[0], path, 'org.gnome.Mutter.RemoteDesktop.Session')
        call('Start', interface=self.session)

    def key(self, code, down):
        call('NotifyKeyboardKeycode', GLib.Variant('(ub)', (code, down)), interface=self.session)

    def move_pointer(self, dx, dy):
        call('NotifyPointerMotionRelative', GLib.Variant('(dd)', (dx, dy)), interface=self.session)


class Client:
    """A test window in its own process, with the lines it printed."""

    def __init__(self, app_id, title):
        self.process = subprocess.Popen([*WINDOW, app_id, title], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)
        self.pid = self.process.pid
        self.log = []
        self.unread = b''
        self.watch = GLib.io_add_watch(self.process.stdout.fileno(), GLib.PRIORITY_DEFAULT,
                                       GLib.IO_IN | GLib.IO_HUP, self._read)

    def _read(self, fd, _condition):
        data = os.read(fd, 65536)
        if not data:
            return False
        *lines, self.unread = (self.unread + data).split(b'\n')
        self.log.extend(line.decode() for line in lines)
        return True

    def tell(self, command):
        self.process.stdin.write(command + '\n')
        self.process.stdin.flush()

    def sync(self):
        self.tell('sync')
        self.wait_logged('synced')
        self.log.remove('synced')

    def wait_logged(self, line):
        wait_for(lambda: line in self.log,
                 lambda: f'"{line}" from {self.process.args[-1]} (it printed {self.log})')

    def close(self):
        self.process.stdin.close()
        self.process.wait()
        GLib.source_remove(self.watch)


class ShellExtensionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.keyboard = Keyboard()
        cls.signals = []
        bus.signal_subscribe(SHELL[0], SHELL[2], None, SHELL[1], None, Gio.DBusSignalFlags.NONE,
                             lambda *a: cls.signals.append((a[4], *a[5].unpack())))
        call('Register')

    def setUp(self):
        self.clients = []
        self.panels = []
        self.signals.clear()

    def tearDown(self):
        for client in self.clients:
            client.close()
        for panel in self.panels:
            panel.destroy()
        # The next test starts from no window in front, told by a signal too.
        focus = [s for s in self.signals if s[0] == 'FocusChanged']
        wait_for(lambda: not call('GetFocusedWindow', reply='(bssus)')[0] and (
            not focus or [s for s in self.signals if s[0] == 'FocusChanged'][-1][1] is False),
            'no window in front')

    def open_focused(self, app_id, title):
        client = Client(app_id, title)
        self.clients.append(client)
        client.wait_logged('focus-in')
        wait_for(lambda: call('GetFocusedWindow', reply='(bssus)')[3] == client.pid,
                 f'{title} in front')
        client.log.remove('focus-in')
        return client

    def test_close_front_tab_waits_for_a_held_shift_and_sends_control_w_alone(self):
        client = self.open_focused('aimset-test-window', 'Page')
        self.keyboard.key(KEY_LEFTSHIFT, True)
        client.wait_logged('press Shift_L -')
        replies = []
        bus.call(*SHELL, 'CloseFrontTab', None, GLib.VariantType('(b)'), Gio.DBusCallFlags.NONE,
                 DEADLINE_MS, None, lambda _bus, result: replies.append(bus.call_finish(result).unpack()))
        # Calls are handled in order: once this one is answered, the shell has
        # seen the one before; keys typed now reach the client after anything
        # it sent.
        call('GetFocusedWindow', reply='(bssus)')
        self.keyboard.key(KEY_F12, True)
        self.keyboard.key(KEY_F12, False)
        client.wait_logged('release F12 Shift')
        self.assertEqual(replies, [])
        self.keyboard.key(KEY_LEFTSHIFT, False)
        wait_for(lambda: replies, 'the answer to CloseFrontTab')
        client.wait_logged('release Control_L Control')
        self.assertEqual(replies, [(True,)])
        self.assertEqual(client.log, [
            'press Shift_L -', 'press F12 Shift', 'release F12 Shift', 'release Shift_L Shift',
            'press Control_L -', 'press w Control', 'release w Control', 'release Control_L Control'])

    def test_panel_stays_above_a_full_screen_window_never_takes_focus_nor_a_turn_in_alt_tab(self):
        # The panel's own process has a main window too, used before the others.
        main = Gtk.Window(title='Aimset')
        main.show_all()
        self.panels.append(main)
        wait_for(lambda: call('GetFocusedWindow', reply='(bssus)')[3] == os.getpid(), 'Aimset in front')
        main_in_front = ('FocusChanged', *call('GetFocusedWindow', reply='(bssus)'))
        other = self.open_focused('org.aimset.Unlisted', 'Other')
        client = self.open_focused('aimset-test-window', 'Film')
        client.tell('fullscreen')
        client.wait_logged('fullscreen')
        call('SetPanelWindowTitles', GLib.Variant('(as)', ([PANEL_TITLE],)))
        panel = Gtk.Window(title=PANEL_TITLE)
        panel.set_default_size(1280, 800)
        heard = []
        panel.add_events(Gdk.EventMask.ENTER_NOTIFY_MASK)
        for event in ['enter-notify-event', 'leave-notify-event', 'focus-in-event', 'focus-out-event']:
            panel.connect(event, lambda _w, _e, event=event: heard.append(event))
        panel.show_all()
        self.panels.append(panel)
        # The shell hands a new window focus as it maps it; the extension
        # takes it straight back, which both clients see as a blink.
        wait_for(lambda: 'focus-out-event' in heard, 'the panel on screen and its focus gone')
        client.sync()
        client.log.clear()
        # From near the top left corner, where the shell starts the pointer,
        # to the middle of the screen.
        self.keyboard.move_pointer(600, 380)
        wait_for(lambda: 'enter-notify-event' in heard,
                 lambda: f'the pointer over the panel (the client printed {client.log})')
        client.sync()
        self.assertEqual(heard, ['focus-in-event', 'focus-out-event', 'enter-notify-event'])
        self.assertEqual(call('GetFocusedWindow', reply='(bssus)')[3], client.pid)
        # The window below may have had the pointer at its start, not after.
        self.assertIn([line for line in client.log if line.startswith('pointer')][-1:],
                      [[], ['pointer-leave']])
        self.assertNotIn('focus-out', client.log)
        # One Alt+Tab goes to the window that was in front before.
        for code, down in [(KEY_LEFTALT, True), (KEY_TAB, True), (KEY_TAB, False), (KEY_LEFTALT, False)]:
            self.keyboard.key(code, down)

        def switches():
            return [s for s in self.signals if s[0] == 'FocusChanged']
        wait_for(lambda: len(switches()) == 4, lambda: f'a switch (got {self.signals})')
        # The switcher takes the pointer from the panel, never its focus.
        self.assertEqual([event for event in heard if event.startswith('focus')],
                         ['focus-in-event', 'focus-out-event'])
        self.assertEqual(switches(), [
            main_in_front,
            ('FocusChanged', True, 'org.aimset.Unlisted', 'org.aimset.Unlisted', other.pid, 'Other'),
            ('FocusChanged', True, 'aimset-test-window', 'Aimset Test Window', client.pid, 'Film'),
            ('FocusChanged', True, 'org.aimset.Unlisted', 'org.aimset.Unlisted', other.pid, 'Other')])

    def test_other_processes_are_refused(self):
        for method, args in [('Register', []), ('GetFocusedWindow', []), ('CloseFrontTab', []),
                             ('SetPanelWindowTitles', ['[]'])]:
            with self.subTest(method=method):
                done = subprocess.run(
                    ['gdbus', 'call', '--session', '--dest', SHELL[0], '--object-path', SHELL[1],
                     '--method', f'{SHELL[2]}.{method}', *args], capture_output=True, text=True)
                self.assertIn('GDBus.Error:org.aimset.Shell1.Error.AccessDenied: '
                              'Only Aimset may use this interface', done.stderr)
                self.assertNotEqual(done.returncode, 0)


if __name__ == '__main__':
    unittest.main(verbosity=2)
