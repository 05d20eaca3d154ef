'''Simulated fingerprint daemon for tests: one manager, one reader.

Load with: python3 -m dbusmock --system --template tests/mocks/fprintd.py [-p JSON]

Parameters (all optional):
  device: false to simulate a machine without a reader
  enrolled: list of enrolled finger names (empty: no prints)
  verify_results: VerifyStatus results sent after VerifyStart, in order
  delay: seconds before each result
  hang: true to never send a result

The reader behaves like the real daemon where our client can tell: one claim
at a time (AlreadyInUse otherwise), verification needs the claim, a claim is
freed when its holder leaves the bus.
'''

import dbus
from gi.repository import GLib

from dbusmock import MOCK_IFACE

BUS_NAME = 'net.reactivated.Fprint'
MAIN_OBJ = '/net/reactivated/Fprint/Device/0'
MAIN_IFACE = 'net.reactivated.Fprint.Device'
SYSTEM_BUS = True

MANAGER_PATH = '/net/reactivated/Fprint/Manager'
MANAGER_IFACE = 'net.reactivated.Fprint.Manager'
ERROR = 'net.reactivated.Fprint.Error.'
RETRY = {'verify-retry-scan', 'verify-swipe-too-short', 'verify-finger-not-centered',
         'verify-remove-and-retry'}


def fprint_error(name, message):
    return dbus.exceptions.DBusException(message, name=ERROR + name)


def load(mock, parameters):
    mock.device_present = parameters.get('device', True)
    mock.enrolled = list(parameters.get('enrolled', ['right-index-finger']))
    mock.verify_results = list(parameters.get('verify_results', ['verify-match']))
    mock.delay = float(parameters.get('delay', 0.2))
    mock.hang = bool(parameters.get('hang', False))
    mock.claimed_by = None
    mock.claims = 0
    mock.releases = 0
    mock.verifying = False
    mock.pending = []
    mock.owner_watch = None

    mock.AddProperties(MAIN_IFACE, {
        'name': dbus.String('Simulated fingerprint reader'),
        'scan-type': dbus.String('press'),
        'num-enroll-stages': dbus.Int32(5),
        'finger-present': dbus.Boolean(False),
        'finger-needed': dbus.Boolean(False),
    })
    mock.AddObject(MANAGER_PATH, MANAGER_IFACE, {}, [
        ('GetDefaultDevice', '', 'o',
         'if not objects["%s"].device_present:\n'
         '    raise dbus.exceptions.DBusException("No devices available", '
         'name="%sNoSuchDevice")\n'
         'ret = dbus.ObjectPath("%s")' % (MAIN_OBJ, ERROR, MAIN_OBJ)),
        ('GetDevices', '', 'ao',
         'ret = [dbus.ObjectPath("%s")] if objects["%s"].device_present else []'
         % (MAIN_OBJ, MAIN_OBJ)),
    ])


def stop_pending(self):
    for source in self.pending:
        GLib.source_remove(source)
    self.pending = []
    self.verifying = False


def free_claim(self):
    stop_pending(self)
    self.claimed_by = None
    if self.owner_watch is not None:
        self.owner_watch.cancel()
        self.owner_watch = None


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
def Claim(self, _username, sender=None):
    if not self.device_present:
        raise fprint_error('NoSuchDevice', 'No such device')
    if self.claimed_by is not None:
        raise fprint_error('AlreadyInUse', 'Device was already claimed')
    self.claimed_by = sender
    self.claims += 1

    def owner_changed(owner):
        if owner == '' and self.claimed_by == sender:
            free_claim(self)
    self.owner_watch = self.connection.watch_name_owner(sender, owner_changed)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='', sender_keyword='sender')
def Release(self, sender=None):
    if self.claimed_by != sender:
        raise fprint_error('ClaimDevice', 'Device was not claimed before use')
    self.releases += 1
    free_claim(self)


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='as')
def ListEnrolledFingers(self, _username):
    if not self.enrolled:
        raise fprint_error('NoEnrolledPrints', 'No fingerprints enrolled')
    return dbus.Array(self.enrolled, signature='s')


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
def VerifyStart(self, finger, sender=None):
    if self.claimed_by != sender:
        raise fprint_error('ClaimDevice', 'Device was not claimed before use')
    if self.verifying:
        raise fprint_error('AlreadyInUse', 'Verification already in progress')
    if not self.enrolled:
        raise fprint_error('NoEnrolledPrints', 'No fingerprints enrolled')
    self.verifying = True
    self.EmitSignal(MAIN_IFACE, 'VerifyFingerSelected', 's',
                    [finger if finger != 'any' else self.enrolled[0]])
    if self.hang:
        return
    for index, result in enumerate(self.verify_results):
        def emit(result=result):
            if self.verifying:
                done = result not in RETRY
                if done:
                    self.verifying = False
                self.EmitSignal(MAIN_IFACE, 'VerifyStatus', 'sb', [result, done])
            return False
        delay_ms = int(self.delay * 1000 * (index + 1))
        self.pending.append(GLib.timeout_add(delay_ms, emit))


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='', sender_keyword='sender')
def VerifyStop(self, sender=None):
    if self.claimed_by != sender:
        raise fprint_error('ClaimDevice', 'Device was not claimed before use')
    stop_pending(self)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetDevicePresent(self, present):
    self.device_present = bool(present)


@dbus.service.method(MOCK_IFACE, in_signature='as', out_signature='')
def SetEnrolledFingers(self, fingers):
    self.enrolled = list(fingers)


@dbus.service.method(MOCK_IFACE, in_signature='asd', out_signature='')
def SetVerifyResults(self, results, delay):
    self.verify_results = list(results)
    self.delay = float(delay)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetHang(self, hang):
    self.hang = bool(hang)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='bii')
def GetClaimState(self):
    '''Whether the reader is claimed, and how often it was claimed and released.'''
    return (self.claimed_by is not None, self.claims, self.releases)
