// Tells Quorvane where the pointer is: GNOME on Wayland shows no other
// program the pointer outside its own windows. This is the form GNOME 43
// and 44 load; pointer@quorvane.example is the same as a module for GNOME
// 45 and later.
const {Gio, GLib, Meta} = imports.gi;

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

class PointerExtension {
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
        this._tracker = Meta.CursorTracker.get_for_display(global.display);
        this._moved = this._tracker.connect('position-invalidated', () => {
            const [x, y] = global.get_pointer();
            this._service.emit_signal('Moved', new GLib.Variant('(ii)', [x, y]));
        });
    }

    disable() {
        if (this._tracker)
            this._tracker.disconnect(this._moved);
        this._tracker = null;
        Gio.bus_unown_name(this._owner);
        this._service.unexport();
        this._service = null;
    }
}

function init() {
    return new PointerExtension();
}
