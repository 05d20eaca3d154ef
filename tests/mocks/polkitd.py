# polkit authority for tests, answering as the real polkitd does.
#
# Load with: python3 -m dbusmock --system --template tests/mocks/polkitd.py [-p JSON]
#
# Like the daemon: an unregistered action is the error Failed; with interaction
# allowed but no agent the answer is a challenge (false, true, {}); a pending
# check ends with the error Cancelled when its caller cancels it; cancellation
# ids must be unique per caller. Every call is recorded (GetCalls: one line
# each: method, sender, then the arguments).
#
# Parameters: actions (the registered ones) and answer (also SetAnswer(s)): how
# to answer a check for a registered action: yes, no, challenge, dismissed,
# both (authorized and challenge at once), hang (until cancelled),
# wrong-signature, forged (another connection answers yes first, then polkit
# says no).

import os

import dbus
import dbus.lowlevel
from gi.repository import GLib

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.PolicyKit1'
MAIN_OBJ = '/org/freedesktop/PolicyKit1/Authority'
MAIN_IFACE = 'org.freedesktop.PolicyKit1.Authority'
RESULT = '(bba{ss})'
ANSWERS = {'yes': (True, False, {}), 'no': (False, False, {}), 'challenge': (False, True, {}),
           'dismissed': (False, False, {'polkit.dismissed': 'true'}), 'both': (True, True, {})}


def polkit_error(name, message):
    return dbus.exceptions.DBusException(message, name='org.freedesktop.PolicyKit1.Error.' + name)


def result(answer):
    authorized, challenge, details = ANSWERS[answer]
    return dbus.Struct((authorized, challenge, dbus.Dictionary(details, signature='ss')), signature='bba{ss}')


def load(mock, parameters):
    mock.answer, mock.actions = parameters.get('answer', 'yes'), parameters.get('actions', ['org.yumekazu.unlock'])
    mock.calls, mock.pending = [], {}


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})sa{ss}us', out_signature=RESULT,
                     sender_keyword='sender', message_keyword='message', async_callbacks=('ok', 'fail'))
def CheckAuthorization(self, subject, action, details, flags, cancel_id, sender=None, message=None,
                       ok=None, fail=None):
    kind, fields = subject
    pairs = lambda d: ','.join('%s=%s' % item for item in sorted(d.items())) or '-'  # noqa: E731
    self.calls.append(' '.join(map(str, ['check', sender, kind, pairs(fields), action, pairs(details), flags, cancel_id])))
    key = (str(sender), str(cancel_id))
    if message.get_signature() != '(sa{sv})sa{ss}us':  # the daemon checks what dbus-python does not
        fail(dbus.exceptions.DBusException('Type of message does not match', name='org.freedesktop.DBus.Error.InvalidArgs'))
    elif cancel_id and key in self.pending:
        fail(polkit_error('CancellationIdNotUnique', 'Given cancellation_id is already in use'))
    elif action not in self.actions:
        fail(polkit_error('Failed', 'Action %s is not registered' % action))
    elif self.answer == 'hang':
        self.pending[key] = fail
    elif self.answer == 'wrong-signature':
        reply = dbus.lowlevel.MethodReturnMessage(message)
        reply.append(dbus.Struct((True, False), signature='bb'), signature='(bb)')
        self.connection.send_message(reply)
    elif self.answer == 'forged':
        # A stranger on the bus answers our caller's call before polkit does.
        stranger = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
        forged = dbus.lowlevel.MethodReturnMessage(message)
        forged.append(result('yes'), signature=RESULT)
        stranger.send_message(forged)
        stranger.flush()
        GLib.timeout_add(300, lambda: ok(result('no')) and False)
    elif self.answer == 'challenge' and not flags & 1:
        ok(result('no'))
    else:
        ok(result(self.answer))


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
def CancelCheckAuthorization(self, cancel_id, sender=None):
    self.calls.append('cancel %s %s' % (sender, cancel_id))
    fail = self.pending.pop((str(sender), str(cancel_id)), None)
    if fail is None:
        raise polkit_error('Failed', 'No such cancellation_id `%s\' for name %s' % (cancel_id, sender))
    fail(polkit_error('Cancelled', 'The authentication was cancelled'))


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetAnswer(self, answer):
    self.answer = str(answer)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def GetCalls(self):
    return dbus.Array(self.calls, signature='s')
