# Fingerprint daemon for tests: one manager, one reader, answering as fprintd does.
#
# Load with: python3 -m dbusmock --system --template tests/mocks/fprintd.py [-p JSON]
#
# Parameters: device (false: no reader), enrolled (finger names), verify_results
# (VerifyStatus results after VerifyStart), delay (s before each), hang (no
# result), permitted (false: PermissionDenied, as when polkit says no),
# slow_lookup / slow_claim (s before answering GetDefaultDevice / Claim),
# early (a match sent before VerifyStart is answered), holder (who has claimed
# the reader already).
# Like the daemon: one claim at a time (AlreadyInUse), calls need the claim,
# VerifyStop of a running scan
# broadcasts verify-no-match, Unplug ends a scan with verify-unknown-error and
# the device goes away when released. GetClaims lists the claim-related calls in order.

import dbus
import dbus.lowlevel
from gi.repository import GLib

from dbusmock import MOCK_IFACE
from dbusmock.mockobject import objects

BUS_NAME = 'net.reactivated.Fprint'
MAIN_OBJ = '/net/reactivated/Fprint/Device/0'
MAIN_IFACE = 'net.reactivated.Fprint.Device'
MANAGER_IFACE = 'net.reactivated.Fprint.Manager'
RETRY = {'verify-retry-scan', 'verify-swipe-too-short', 'verify-finger-not-centered', 'verify-remove-and-retry'}


def fprint_error(name, message):
    return dbus.exceptions.DBusException(message, name='net.reactivated.Fprint.Error.' + name)


def load(mock, parameters):
    mock.params = {'device': True, 'enrolled': ['right-index-finger'], 'verify_results': ['verify-match'],
                   'delay': 0.2, 'hang': False, 'permitted': True, 'slow_lookup': 0, 'slow_claim': 0,
                   'early': False}
    mock.params.update(parameters)
    mock.claimed_by, mock.verifying, mock.pending, mock.calls = parameters.get('holder'), False, [], []
    mock.AddObject('/net/reactivated/Fprint/Manager', MANAGER_IFACE, {}, [])


# Template methods serve every mock object; the manager's read the reader's state.
@dbus.service.method(MANAGER_IFACE, in_signature='', out_signature='o', async_callbacks=('ok', 'fail'))
def GetDefaultDevice(_self, ok=None, fail=None):
    reader = objects[MAIN_OBJ]
    delay, reader.params['slow_lookup'] = reader.params['slow_lookup'], 0  # only while starting up
    answer = (lambda: ok(dbus.ObjectPath(MAIN_OBJ))) if reader.params['device'] else \
        (lambda: fail(fprint_error('NoSuchDevice', 'No devices available')))
    GLib.timeout_add(int(delay * 1000), lambda: answer() and False)


@dbus.service.method(MANAGER_IFACE, in_signature='', out_signature='ao')
def GetDevices(_self):
    return dbus.Array([dbus.ObjectPath(MAIN_OBJ)] if objects[MAIN_OBJ].params['device'] else [], signature='o')


def check(self, sender=None, claimed=True):
    if not self.params['permitted']:
        raise fprint_error('PermissionDenied', 'Not Authorized: net.reactivated.fprint.device.verify')
    if claimed and self.claimed_by != sender:
        raise fprint_error('ClaimDevice', 'Device was not claimed before use')


def stop_scan(self, broadcast):
    for source in self.pending:
        GLib.source_remove(source)
    self.pending = []
    if self.verifying and broadcast:
        self.EmitSignal(MAIN_IFACE, 'VerifyStatus', 'sb', ['verify-no-match', True])
    self.verifying = False


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender',
                     async_callbacks=('ok', 'fail'))
def Claim(self, _username, sender=None, ok=None, fail=None):
    self.calls.append('Claim')
    if self.claimed_by is not None:
        return fail(fprint_error('AlreadyInUse', 'Device was already claimed'))
    self.claimed_by = sender
    GLib.timeout_add(int(self.params['slow_claim'] * 1000), lambda: ok() and False)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='', sender_keyword='sender')
def Release(self, sender=None):
    self.calls.append('Release')
    check(self, sender)
    stop_scan(self, True)
    self.claimed_by = None
    if self.params.get('unplugged'):
        self.params['device'] = False
        raise fprint_error('Internal', 'Release failed with error: This device has been removed from the system.')


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='as')
def ListEnrolledFingers(self, _username):
    check(self, claimed=False)
    if not self.params['enrolled']:
        raise fprint_error('NoEnrolledPrints', 'No fingerprints enrolled')
    return dbus.Array(self.params['enrolled'], signature='s')


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
def VerifyStart(self, _finger, sender=None):
    self.calls.append('VerifyStart')
    check(self, sender)
    if self.verifying:
        raise fprint_error('AlreadyInUse', 'Verification already in progress')
    self.verifying = True
    if self.params['early']:
        self.EmitSignal(MAIN_IFACE, 'VerifyStatus', 'sb', ['verify-match', True])
    if self.params['hang'] or self.params['early']:
        return
    for index, result in enumerate(self.params['verify_results']):
        def emit(result=result):
            if self.verifying:
                self.verifying = result in RETRY
                self.EmitSignal(MAIN_IFACE, 'VerifyStatus', 'sb', [result, result not in RETRY])
            return False
        self.pending.append(GLib.timeout_add(int(self.params['delay'] * 1000 * (index + 1)), emit))


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='', sender_keyword='sender')
def VerifyStop(self, sender=None):
    self.calls.append('VerifyStop')
    check(self, sender)
    stop_scan(self, True)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Unplug(self):
    if self.verifying:
        self.EmitSignal(MAIN_IFACE, 'VerifyStatus', 'sb', ['verify-unknown-error', True])
    stop_scan(self, False)
    self.params['unplugged'] = True


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetHang(self, hang):
    self.params['hang'] = bool(hang)


@dbus.service.method(MOCK_IFACE, in_signature='os', out_signature='')
def Emit(self, path, result):
    # A final status from the daemon about any object, ours or not.
    signal = dbus.lowlevel.SignalMessage(path, MAIN_IFACE, 'VerifyStatus')
    signal.append(result, True, signature='sb')
    self.connection.send_message(signal)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Vanish(self):
    # Gives up the bus name but stays connected: what still reaches us was sent to a gone daemon.
    self.connection.release_name(BUS_NAME)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='bas')
def GetClaims(self):
    # Whether the reader is claimed, and the claim-related calls so far.
    return (self.claimed_by is not None, dbus.Array(self.calls, signature='s'))
