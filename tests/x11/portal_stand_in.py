# portal_stand_in.py ADDRESS_FILE NAME: the desktop portal's file chooser on a
# private session bus, answering OpenFile by choosing NAME in the folder it was
# asked to start in. Writes the bus address to ADDRESS_FILE once it owns the name.
import os, sys, urllib.parse

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

address_file, chosen_name = sys.argv[1], sys.argv[2]
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class FileChooser(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.FileChooser", in_signature="ssa{sv}", out_signature="o",
                         sender_keyword="sender")
    def OpenFile(self, parent, title, options, sender):
        folder = bytes(options["current_folder"]).rstrip(b"\0").decode()
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"),
                                                                   options["handle_token"])
        uri = "file://" + urllib.parse.quote(os.path.join(folder, chosen_name))
        request = Request(bus, path)
        GLib.idle_add(lambda: request.Response(dbus.UInt32(0), {"uris": dbus.Array([uri], signature="s")}))
        return dbus.ObjectPath(path)


name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
FileChooser(bus, "/org/freedesktop/portal/desktop")
with open(address_file + ".part", "w") as out:
    out.write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
os.rename(address_file + ".part", address_file)
loop = GLib.MainLoop()
GLib.timeout_add_seconds(120, loop.quit)  # in case nobody ends it
loop.run()
