// Aimset's GNOME Shell extension: under Wayland only the shell knows which
// window is in front, can type into it and hear global keys, so it lends
// these powers to Aimset's own process over the session bus
// (org.aimset.Shell1, described in org.aimset.Shell1.xml beside this file).
'use strict';

const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;

const BUS_NAME = 'org.aimset.Shell';
const OBJECT_PATH = '/org/aimset/Shell';
const INTERFACE_NAME = 'org.aimset.Shell1';
const ACCESS_DENIED = 'org.aimset.Shell1.Error.AccessDenied';
// The caller is Aimset when the basename of its process's executable is this.
const AIMSET_EXECUTABLE = 'aimset';

const NO_WINDOW = [false, '', '', 0, ''];

// Modifiers the user may hold that would turn Control+W into another
// shortcut (Caps Lock and Num Lock are toggles and do not).
const HELD_MODIFIERS = Clutter.ModifierType.SHIFT_MASK | Clutter.ModifierType.MOD1_MASK |
    Clutter.ModifierType.MOD4_MASK | Clutter.ModifierType.MOD5_MASK |
    Clutter.ModifierType.SUPER_MASK | Clutter.ModifierType.HYPER_MASK |
    Clutter.ModifierType.META_MASK;
// How long Control+W waits for held modifiers to go up.
const MODIFIER_WAIT_MS = 3000;
const MODIFIER_POLL_MS = 20;
// Releasing any of these ends the Alt+M chord.
const CHORD_KEYVALS = new Set([Clutter.KEY_m, Clutter.KEY_M, Clutter.KEY_Alt_L, Clutter.KEY_Alt_R]);

function loadInterfaceInfo() {
    const file = ExtensionUtils.getCurrentExtension().dir.get_child('org.aimset.Shell1.xml');
    const [, bytes] = file.load_contents(null);
    return Gio.DBusNodeInfo.new_for_xml(new TextDecoder().decode(bytes))
        .lookup_interface(INTERFACE_NAME);
}

// The caller's process runs Aimset's executable (a replaced binary still
// counts: the kernel appends " (deleted)" to its path).
function executableIsAimset(pid) {
    let path;
    try {
        path = GLib.file_read_link(`/proc/${pid}/exe`);
    } catch (e) {
        return false;
    }
    path = path.replace(/ \(deleted\)$/, '');
    return GLib.path_get_basename(path) === AIMSET_EXECUTABLE;
}

function windowFacts(window) {
    if (!window)
        return NO_WINDOW;
    const app = Shell.WindowTracker.get_default().get_window_app(window);
    const wmClass = window.get_wm_class() ?? '';
    const appFileId = app && !app.is_window_backed() ? app.get_id() ?? '' : '';
    const appId = appFileId.endsWith('.desktop') ? appFileId.slice(0, -'.desktop'.length) : wmClass;
    const name = app?.get_name() ?? wmClass;
    return [true, appId, name, Math.max(window.get_pid(), 0), window.get_title() ?? ''];
}

class AimsetShell {
    constructor() {
        this._interfaceInfo = loadInterfaceInfo();
        this._connection = null;
        this._registrationId = 0;
        this._nameId = 0;
        this._client = null;
        this._clientPid = -1;
        this._clientWatchId = 0;
        this._panelTitles = new Set();
        this._panels = new Set();
        this._shown = new Set();
        this._unredirectDisabled = false;
        this._windowSignals = new Map();
        this._focused = null;
        this._focusedTitle = '';
        this._focusedTitleId = 0;
        this._focusCheckId = 0;
        this._keyboard = null;
        this._closeTabWaitId = 0;
        this._closeTabReply = null;
        this._idleMonitor = null;
        this._inputWatchId = 0;
        this._chordHeld = false;
        this._displaySignals = [];
        this._shellMethods = [];
    }

    enable() {
        const seat = Clutter.get_default_backend().get_default_seat();
        this._keyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        this._displaySignals = [
            global.display.connect('notify::focus-window', () => this._focusMoved()),
            global.display.connect('window-created', (_display, window) => this._track(window)),
        ];
        for (const actor of global.get_window_actors())
            this._track(actor.meta_window);
        this._focused = global.display.focus_window;
        this._followTitle();
        this._hidePanelsFromSwitchers();
        this._idleMonitor = global.backend.get_core_idle_monitor();
        this._listen();
        this._nameId = Gio.bus_own_name(Gio.BusType.SESSION, BUS_NAME, Gio.BusNameOwnerFlags.NONE,
            connection => this._export(connection), null,
            () => log(`Aimset: another process holds ${BUS_NAME}; Aimset cannot reach the shell`));
    }

    disable() {
        if (this._nameId)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        if (this._registrationId)
            this._connection.unregister_object(this._registrationId);
        this._registrationId = 0;
        this._connection = null;
        this._forgetClient();
        this._stopListening();
        if (this._closeTabWaitId) {
            GLib.source_remove(this._closeTabWaitId);
            this._closeTabReply(false);
        }
        this._closeTabWaitId = 0;
        this._closeTabReply = null;
        for (const id of this._displaySignals)
            global.display.disconnect(id);
        this._displaySignals = [];
        for (const [prototype, name, method] of this._shellMethods)
            prototype[name] = method;
        this._shellMethods = [];
        this._unfollowTitle();
        this._focused = null;
        for (const window of [...this._windowSignals.keys()])
            this._untrack(window);
        if (this._focusCheckId)
            GLib.source_remove(this._focusCheckId);
        this._focusCheckId = 0;
        this._keyboard.run_dispose();
        this._keyboard = null;
    }

    // ---- the bus ------------------------------------------------------------------

    _export(connection) {
        this._connection = connection;
        const methodCalled = (conn, sender, path, iface, method, params, invocation) =>
            this._authorise(sender, invocation,
                pid => this._call(sender, pid, method, params, invocation));
        // Version is the interface's only property and tells nothing private.
        const propertyRead = () => new GLib.Variant('u', 1);
        this._registrationId = connection.register_object(OBJECT_PATH, this._interfaceInfo,
            methodCalled, propertyRead, null);
    }

    _authorise(sender, invocation, then) {
        this._connection.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]),
            new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, -1, null, (conn, result) => {
                let pid = -1;
                try {
                    [pid] = conn.call_finish(result).deepUnpack();
                } catch (e) {
                    pid = -1;
                }
                if (pid > 0 && executableIsAimset(pid))
                    then(pid);
                else
                    invocation.return_dbus_error(ACCESS_DENIED, 'Only Aimset may use this interface');
            });
    }

    _call(sender, pid, method, params, invocation) {
        switch (method) {
        case 'Register':
            this._register(sender, pid);
            invocation.return_value(null);
            break;
        case 'GetFocusedWindow':
            invocation.return_value(new GLib.Variant('(bssus)', windowFacts(this._focused)));
            break;
        case 'CloseFrontTab':
            this._closeFrontTab(sent => invocation.return_value(new GLib.Variant('(b)', [sent])));
            break;
        case 'SetPanelWindowTitles':
            this._panelTitles = new Set(params.deepUnpack()[0]);
            this._syncPanels();
            invocation.return_value(null);
            break;
        default:
            invocation.return_dbus_error('org.freedesktop.DBus.Error.UnknownMethod', method);
        }
    }

    _register(sender, pid) {
        this._forgetClient();
        this._client = sender;
        this._clientPid = pid;
        this._clientWatchId = Gio.bus_watch_name_on_connection(this._connection, sender,
            Gio.BusNameWatcherFlags.NONE, null, () => this._forgetClient());
    }

    _forgetClient() {
        if (this._clientWatchId)
            Gio.bus_unwatch_name(this._clientWatchId);
        this._clientWatchId = 0;
        this._client = null;
        this._clientPid = -1;
        this._panelTitles.clear();
        this._syncPanels();
    }

    // Titles are private: signals go to the registered client alone.
    _emit(signal, signature, values) {
        if (!this._client || !this._connection)
            return;
        this._connection.emit_signal(this._client, OBJECT_PATH, INTERFACE_NAME, signal,
            signature ? new GLib.Variant(signature, values) : null);
    }

    // ---- focus and titles ---------------------------------------------------------

    // Focus can pass through "no window" or a panel on its way to the next
    // window; deciding once the main loop is idle reports the change once.
    _focusMoved() {
        const window = global.display.focus_window;
        if (window && this._panels.has(window)) {
            this._refuseFocus(window);
            return;
        }
        if (!this._focusCheckId) {
            this._focusCheckId = GLib.idle_add(GLib.PRIORITY_HIGH_IDLE, () => {
                this._focusCheckId = 0;
                this._focusSettled();
                return GLib.SOURCE_REMOVE;
            });
        }
    }

    _focusSettled() {
        const window = global.display.focus_window;
        if (window === this._focused || (window && this._panels.has(window)))
            return;
        this._unfollowTitle();
        this._focused = window;
        this._followTitle();
        this._emit('FocusChanged', '(bssus)', windowFacts(window));
    }

    _followTitle() {
        if (!this._focused)
            return;
        this._focusedTitle = this._focused.get_title() ?? '';
        this._focusedTitleId = this._focused.connect('notify::title', window => {
            const title = window.get_title() ?? '';
            if (title === this._focusedTitle)
                return;
            this._focusedTitle = title;
            this._emit('TitleChanged', '(s)', [title]);
        });
    }

    _unfollowTitle() {
        if (this._focused && this._focusedTitleId)
            this._focused.disconnect(this._focusedTitleId);
        this._focusedTitleId = 0;
        this._focusedTitle = '';
    }

    // ---- panels -------------------------------------------------------------------

    _track(window) {
        if (this._windowSignals.has(window))
            return;
        this._windowSignals.set(window, [
            window.connect('notify::title', () => this._syncPanel(window)),
            window.connect('shown', () => {
                this._shown.add(window);
                this._syncPanel(window);
            }),
            window.connect('unmanaged', () => this._untrack(window)),
        ]);
        // A window that is not on screen yet has no place in the stack.
        if (!window.is_hidden())
            this._shown.add(window);
        this._syncPanel(window);
    }

    _untrack(window) {
        for (const id of this._windowSignals.get(window) ?? [])
            window.disconnect(id);
        this._windowSignals.delete(window);
        this._shown.delete(window);
        if (this._panels.delete(window))
            this._syncUnredirect();
        if (window === this._focused) {
            // Gone: whatever comes next differs from it, even no window.
            this._unfollowTitle();
            this._focused = undefined;
            this._focusMoved();
        }
    }

    _syncPanels() {
        for (const window of this._windowSignals.keys())
            this._syncPanel(window);
    }

    _isPanel(window) {
        return this._client !== null && this._shown.has(window) &&
            window.get_pid() === this._clientPid && this._panelTitles.has(window.get_title() ?? '');
    }

    _syncPanel(window) {
        const panel = this._isPanel(window);
        if (panel === this._panels.has(window))
            return;
        const actor = window.get_compositor_private();
        if (panel) {
            this._panels.add(window);
            window.make_above();
            window.stick();
            // Full-screen windows cover the layer of "above" windows; the
            // shell's top window group lies over all of them.
            if (actor && actor.get_parent() === global.window_group) {
                global.window_group.remove_child(actor);
                global.top_window_group.add_child(actor);
            }
            if (global.display.focus_window === window)
                this._refuseFocus(window);
            this._syncUnredirect();
        } else {
            this._panels.delete(window);
            if (actor && actor.get_parent() === global.top_window_group) {
                global.top_window_group.remove_child(actor);
                global.window_group.add_child(actor);
            }
            window.unmake_above();
            window.unstick();
            this._syncUnredirect();
        }
    }

    // A full-screen window may be shown straight from its buffer, past the
    // compositor, which would hide a panel over it.
    _syncUnredirect() {
        const wanted = this._panels.size > 0;
        if (wanted === this._unredirectDisabled)
            return;
        this._unredirectDisabled = wanted;
        if (wanted)
            Meta.disable_unredirect_for_display(global.display);
        else
            Meta.enable_unredirect_for_display(global.display);
    }

    // The shell hands a new window focus as it maps it, which makes a panel
    // the most recently used window after the one in front: Alt+Tab would
    // land on it (and the panel give focus straight back) or on Aimset's main
    // window. The switchers take windows from the display's tab list and
    // applications in the order of their most recent use, so both leave
    // panels out.
    _hidePanelsFromSwitchers() {
        const panels = this._panels;
        this._replace(Meta.Display.prototype, 'get_tab_list', getTabList =>
            function (type, workspace) {
                return getTabList.call(this, type, workspace).filter(window => !panels.has(window));
            });
        const lastUsed = app => Math.max(0, ...app.get_windows()
            .filter(window => !panels.has(window)).map(window => window.get_user_time()));
        this._replace(Shell.AppSystem.prototype, 'get_running', getRunning =>
            function () {
                const apps = getRunning.call(this);
                return panels.size ? apps.sort((a, b) => lastUsed(b) - lastUsed(a)) : apps;
            });
    }

    _replace(prototype, name, wrap) {
        const method = prototype[name];
        this._shellMethods.push([prototype, name, method]);
        prototype[name] = wrap(method);
    }

    // A panel never keeps focus: it goes back to the window that had it.
    _refuseFocus(panel) {
        const time = global.display.get_current_time_roundtrip();
        if (this._focused && this._focused !== panel && this._windowSignals.has(this._focused) &&
            !this._focused.minimized)
            this._focused.focus(time);
        else
            global.display.unset_input_focus(time);
    }

    // ---- keys ---------------------------------------------------------------------

    // Keys on their way to a Wayland client pass by the shell's idle monitor
    // before anything else sees them; a watch for "the user is active" fires
    // on the next event, which is then the current one. Re-armed each time,
    // it hears every key without taking any from the client.
    _listen() {
        this._inputWatchId = this._idleMonitor.add_user_active_watch(() => {
            this._inputWatchId = 0;
            const event = Clutter.get_current_event();
            if (event)
                this._heard(event);
            if (this._idleMonitor)
                this._listen();
        });
    }

    _stopListening() {
        if (this._inputWatchId)
            this._idleMonitor.remove_watch(this._inputWatchId);
        this._inputWatchId = 0;
        this._idleMonitor = null;
        this._chordHeld = false;
    }

    _heard(event) {
        const type = event.type();
        if (type !== Clutter.EventType.KEY_PRESS && type !== Clutter.EventType.KEY_RELEASE)
            return;
        const pressed = type === Clutter.EventType.KEY_PRESS;
        const keyval = event.get_key_symbol();
        if (event.get_flags() & Clutter.EventFlags.FLAG_REPEATED)
            return;
        if (pressed && !this._chordHeld && keyval === Clutter.KEY_m &&
            (event.get_state() & Clutter.ModifierType.MOD1_MASK)) {
            this._chordHeld = true;
            this._emit('ChordPressed', null, null);
        } else if (!pressed && this._chordHeld && CHORD_KEYVALS.has(keyval)) {
            this._chordHeld = false;
            this._emit('ChordReleased', null, null);
        }
    }

    _tap(keyval, state) {
        this._keyboard.notify_keyval(GLib.get_monotonic_time(), keyval, state);
    }

    // Control+W through the virtual keyboard. Under Wayland one input device
    // cannot release a key another one holds, so a modifier the user holds
    // (Shift, Alt, Super) is waited out: the client sees Control alone and the
    // user's keys are never touched. The window in front must not change
    // meanwhile, and a modifier held too long sends nothing.
    _closeFrontTab(reply) {
        const window = global.display.focus_window;
        if (!window || this._closeTabWaitId) {
            reply(false);
            return;
        }
        const started = GLib.get_monotonic_time();
        const attempt = () => {
            if (global.display.focus_window !== window) {
                reply(false);
                return false;
            }
            const [, , mods] = global.get_pointer();
            if (mods & HELD_MODIFIERS) {
                if (GLib.get_monotonic_time() - started < MODIFIER_WAIT_MS * 1000)
                    return true;
                log('Aimset: a modifier stayed held; Control+W was not sent');
                reply(false);
                return false;
            }
            this._tap(Clutter.KEY_Control_L, Clutter.KeyState.PRESSED);
            this._tap(Clutter.KEY_w, Clutter.KeyState.PRESSED);
            this._tap(Clutter.KEY_w, Clutter.KeyState.RELEASED);
            this._tap(Clutter.KEY_Control_L, Clutter.KeyState.RELEASED);
            reply(true);
            return false;
        };
        if (!attempt())
            return;
        this._closeTabReply = reply;
        this._closeTabWaitId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, MODIFIER_POLL_MS, () => {
            if (attempt())
                return GLib.SOURCE_CONTINUE;
            this._closeTabWaitId = 0;
            this._closeTabReply = null;
            return GLib.SOURCE_REMOVE;
        });
    }
}

class Extension {
    enable() {
        this._shell = new AimsetShell();
        this._shell.enable();
    }

    disable() {
        this._shell.disable();
        this._shell = null;
    }
}

function init() {
    return new Extension();
}
