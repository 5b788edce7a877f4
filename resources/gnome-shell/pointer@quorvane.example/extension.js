// Tells Quorvane where the pointer is: GNOME on Wayland shows no other
// program the pointer outside its own windows. GNOME 45 and later load
// extensions as modules; pointer-legacy@quorvane.example is the same for
// GNOME 43 and 44.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const BUS_NAME = 'org.quorvane.Pointer';
const OBJECT_PATH = '/org/quorvane/Pointer';
const IFACE = `<node>
  <interface name="org.quorvane.Pointer">
    <method name="GetPosition">
      <arg type="i" name="x" direction="out"/>
      <arg type="i" name="y" direction="out"/>
    </method>
    <signal name="Moved">
      <arg type="i" name="x"/>
      <arg type="i" name="y"/>
    </signal>
  </interface>
</node>`;

export default class PointerExtension extends Extension {
    enable() {
        this._service = Gio.DBusExportedObject.wrapJSObject(IFACE, {
            GetPosition() {
                const [x, y] = global.get_pointer();
                return [x, y];
            },
        });
        this._service.export(Gio.DBus.session, OBJECT_PATH);
        this._owner = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        // Moves are told as they happen, so a recording needs no polling.
        this._tracker = global.backend.get_cursor_tracker();
        this._moved = this._tracker.connect('position-invalidated', () => {
            const [x, y] = global.get_pointer();
            this._service.emit_signal('Moved', new GLib.Variant('(ii)', [x, y]));
        });
    }

    disable() {
        this._tracker?.disconnect(this._moved);
        this._tracker = null;
        Gio.bus_unown_name(this._owner);
        this._service.unexport();
        this._service = null;
    }
}
