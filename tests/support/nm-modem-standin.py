'''ModemManager for NetworkManager's tests (a python3-dbusmock template): one registered modem
with control port cdc-wdm0 and data port wwan0 (a veth end the fixture makes), GSM/LTE or, with
the parameter caps 2, CDMA. Simple.Connect connects its bearer with a static IPv4 setup on wwan0.'''
import dbus
from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

ROOT = '/org/freedesktop/ModemManager1'
MODEM, SIM, BEARER = ROOT + '/Modem/0', ROOT + '/SIM/0', ROOT + '/Bearer/0'
MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
BEARER_IFACE = 'org.freedesktop.ModemManager1.Bearer'
REGISTERED, CONNECTED = 8, 11


def strings():
    return dbus.Array([], signature='s')


def load(mock, parameters):
    caps = dbus.UInt32(int(parameters.get('caps', 4 | 8)))
    mock.AddProperties(MAIN_IFACE, {'Version': '1.20.4'})
    mock.AddMethods(MAIN_IFACE, [('ScanDevices', '', '', ''), ('SetLogging', 's', '', '')])
    mock.AddObject(SIM, 'org.freedesktop.ModemManager1.Sim', {
        'SimIdentifier': '89490200001234567890', 'Imsi': '262011234567890', 'Active': True,
        'OperatorIdentifier': '26201', 'OperatorName': 'Netz', 'EmergencyNumbers': strings(),
    }, [])
    ipv4 = {'method': dbus.UInt32(2), 'address': '10.99.0.2', 'prefix': dbus.UInt32(30),
            'gateway': '10.99.0.1', 'dns1': '10.99.0.1', 'mtu': dbus.UInt32(1500)}
    mock.AddObject(BEARER, BEARER_IFACE, {
        'Interface': 'wwan0', 'Connected': False, 'Suspended': False, 'Multiplexed': False,
        'Ip4Config': dbus.Dictionary(ipv4, signature='sv'),
        'Ip6Config': dbus.Dictionary({'method': dbus.UInt32(0)}, signature='sv'),
        'Stats': dbus.Dictionary({}, signature='sv'), 'IpTimeout': dbus.UInt32(20),
        'BearerType': dbus.UInt32(1), 'Properties': dbus.Dictionary({'apn': 'internet'}, signature='sv'),
    }, [])
    ports = [('cdc-wdm0', 6), ('wwan0', 2), ('ttyUSB2', 3)]  # QMI, network, AT
    mock.AddObject(MODEM, MODEM_IFACE, {
        'Sim': dbus.ObjectPath(SIM), 'SimSlots': dbus.Array([dbus.ObjectPath(SIM)], signature='o'),
        'PrimarySimSlot': dbus.UInt32(1), 'Bearers': dbus.Array([dbus.ObjectPath(BEARER)], signature='o'),
        'SupportedCapabilities': dbus.Array([caps], signature='u'), 'CurrentCapabilities': caps,
        'MaxBearers': dbus.UInt32(1), 'MaxActiveBearers': dbus.UInt32(1),
        'Manufacturer': 'Zeltix', 'Model': 'Test modem', 'Revision': '1', 'HardwareRevision': '1',
        'CarrierConfiguration': '', 'CarrierConfigurationRevision': '',
        'DeviceIdentifier': '0123456789abcdef0123456789abcdef01234567',
        'Device': '/sys/devices/test/usb1/1-1', 'Physdev': '/sys/devices/test/usb1/1-1',
        'Drivers': dbus.Array(['qmi_wwan', 'option'], signature='s'), 'Plugin': 'generic',
        'PrimaryPort': 'cdc-wdm0',
        'Ports': dbus.Array([dbus.Struct((n, dbus.UInt32(t))) for n, t in ports], signature='(su)'),
        'EquipmentIdentifier': '867698041234567', 'UnlockRequired': dbus.UInt32(1),
        'UnlockRetries': dbus.Dictionary({}, signature='uu'), 'State': dbus.Int32(REGISTERED),
        'StateFailedReason': dbus.UInt32(0), 'AccessTechnologies': dbus.UInt32(1 << 14),
        'SignalQuality': dbus.Struct((dbus.UInt32(80), True)), 'OwnNumbers': strings(),
        'PowerState': dbus.UInt32(3), 'SupportedModes': dbus.Array([], signature='(uu)'),
        'CurrentModes': dbus.Struct((dbus.UInt32(0), dbus.UInt32(0))),
        'SupportedBands': dbus.Array([], signature='u'), 'CurrentBands': dbus.Array([], signature='u'),
        'SupportedIpFamilies': dbus.UInt32(1),
    }, [('Enable', 'b', '', ''), ('SetPowerState', 'u', '', '')])
    modem = mockobject.objects[MODEM]
    modem.AddProperties('org.freedesktop.ModemManager1.Modem.Modem3gpp', {
        'Imei': '867698041234567', 'RegistrationState': dbus.UInt32(1), 'OperatorCode': '26201',
        'OperatorName': 'Netz', 'EnabledFacilityLocks': dbus.UInt32(0), 'SubscriptionState': dbus.UInt32(0),
        'EpsUeModeOperation': dbus.UInt32(0), 'Pco': dbus.Array([], signature='(ubay)'),
        'InitialEpsBearer': dbus.ObjectPath('/'), 'InitialEpsBearerSettings': dbus.Dictionary({}, signature='sv'),
        'PacketServiceState': dbus.UInt32(0), 'Nr5gRegistrationSettings': dbus.Dictionary({}, signature='sv'),
    })
    modem.props['org.freedesktop.ModemManager1.Modem.Simple'] = {}

    def switch(connected, old, new):
        return ("objects['%s'].UpdateProperties('%s', {'Connected': dbus.Boolean(%s)})\n"
                "self.UpdateProperties('%s', {'State': dbus.Int32(%d)})\n"
                "self.EmitSignal('%s', 'StateChanged', 'iiu', [dbus.Int32(%d), dbus.Int32(%d), dbus.UInt32(1)])\n"
                % (BEARER, BEARER_IFACE, connected, MODEM_IFACE, new, MODEM_IFACE, old, new))
    modem.AddMethods('org.freedesktop.ModemManager1.Modem.Simple', [
        ('Connect', 'a{sv}', 'o', switch(True, REGISTERED, CONNECTED) + "ret = dbus.ObjectPath('%s')" % BEARER),
        ('Disconnect', 'o', '', switch(False, CONNECTED, REGISTERED)),
        ('GetStatus', '', 'a{sv}', "ret = {'state': dbus.Int32(self.Get('%s', 'State'))}" % MODEM_IFACE),
    ])
