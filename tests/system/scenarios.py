# The two gates against the real polkitd and fprintd, run by real-daemons
# inside its private namespace (as root; the app runs as the test user). Each
# scenario reads the window's state from the accessibility tree; fingerprint
# scenarios also check that the reader was given back. Prints a table of what
# was observed and a closing "N passed, N failed" line.

import os
import socket
import subprocess
import sys
import time

import dbus
import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '../e2e'))
from atspi_client import application, wait  # noqa: E402

W, APP, USER = os.environ['WORK'], os.environ['APP'], os.environ['TEST_USER']
PASSWORD = os.environ['ADMIN_PASSWORD']
AS_USER = ['setpriv', '--reuid=61001', '--regid=61001', '--init-groups']
HERE = os.path.dirname(os.path.abspath(__file__))
LOCK, BANNER, TOUCH_ID = '変更するにはカギをクリックします', '🔓 ロック解除済み', 'Touch IDで認証する'
FPRINT = 'net.reactivated.Fprint'
POLICY = W + '/actions/org.yumekazu.unlock.policy'
system_bus = dbus.SystemBus()


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=False)


class Polkitd:
    process = None

    @classmethod
    def start(cls):
        cls.process = subprocess.Popen(['/usr/lib/polkit-1/polkitd', '--no-debug'], stdout=subprocess.DEVNULL,
                                       stderr=open(W + '/polkitd.log', 'a'))
        wait('polkitd', lambda: system_bus.name_has_owner('org.freedesktop.PolicyKit1'))

    @classmethod
    def stop(cls):
        cls.process.kill()
        cls.process.wait()
        wait('polkitd to go', lambda: not system_bus.name_has_owner('org.freedesktop.PolicyKit1'))


class App:
    # The app as the test user, seen through the accessibility tree.

    def __init__(self):
        env = {k: os.environ[k] for k in ('PATH', 'HOME', 'XDG_RUNTIME_DIR', 'DISPLAY', 'DBUS_SESSION_BUS_ADDRESS')}
        env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', LANG='C.UTF-8')
        self.process = subprocess.Popen(AS_USER + [APP], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(W + '/app.log', 'a'))
        self.pid = self.process.pid
        self.root = application(self.pid, 40)  # the first start also wakes the registry
        wait('the locked window', lambda: self.find(LOCK), 20)

    def find(self, name, role=None):
        return pyatspi.findDescendant(self.root, lambda a: a.name == name and a.getRoleName() == (role or a.getRoleName())
                                      and a.getState().contains(pyatspi.STATE_SHOWING))

    def press(self, name):
        found = wait(name, lambda: self.find(name))
        (found if found.getRoleName() == 'push button' else found.parent).queryAction().doAction(0)

    def locked(self):
        button = self.find(LOCK)
        return button is not None and button.parent.getState().contains(pyatspi.STATE_ENABLED) \
            and self.find(BANNER) is None

    def alert(self):
        # The authentication alert's message, once it is up; it is dismissed.
        dialog = wait('the alert', lambda: self.find('認証エラー'), 15)
        texts = [a.name for a in pyatspi.findAllDescendants(dialog, lambda a: a.getRoleName() == 'label')]
        self.press('OK')
        wait('the alert to go', lambda: self.find('認証エラー') is None)
        return next(t for t in texts if t)

    def close(self):
        # As the window manager does: WM_DELETE_WINDOW.
        for window in run('xdotool', 'search', '--onlyvisible', '--pid', str(self.pid)).stdout.split():
            subprocess.run(['/usr/bin/python3', os.path.join(HERE, '../mocks/wm-close.py'), window], check=True)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class Agent:
    # pkttyagent for the app's process, answered at its prompt through tmux.

    def __init__(self, pid):
        self.tmux = ['tmux', '-S', W + '/tmux.sock']
        subprocess.run(self.tmux + ['new-session', '-d', '-x', '150', '-y', '40',
                                    ' '.join(AS_USER + ['pkttyagent', '--process', str(pid)])], check=True)
        time.sleep(1)  # registration

    def screen(self):
        return run(*self.tmux, 'capture-pane', '-p').stdout

    def answer(self, text=None, key='Enter'):
        # Types text and then key at the password prompt; nothing: only waits for it.
        wait('the password prompt', lambda: 'Password:' in self.screen())
        if text is not None:
            subprocess.run(self.tmux + ['send-keys', '-l', text], check=True)
        if text is not None or key != 'Enter':
            subprocess.run(self.tmux + ['send-keys', key], check=True)

    def stop(self):
        with open(W + '/agent.log', 'a') as log:
            log.write(self.screen())
        run(*self.tmux, 'kill-server')


def reader(command):
    # One command to libfprint's virtual reader (it listens while the device is open).
    def send():
        try:
            with socket.socket(socket.AF_UNIX) as connection:
                connection.connect(W + '/reader')
                connection.sendall(command.encode())
            return True
        except OSError:
            return False
    wait('the virtual reader', send)


def device():
    manager = system_bus.get_object(FPRINT, '/net/reactivated/Fprint/Manager')
    path = manager.GetDefaultDevice(dbus_interface=FPRINT + '.Manager')
    return dbus.Interface(system_bus.get_object(FPRINT, path), FPRINT + '.Device')


def reader_free():
    # A second client can claim the reader.
    try:
        reader_device = device()
        reader_device.Claim('')
        reader_device.Release()
        return True
    except dbus.DBusException:
        return False


def kill_fprintd():
    if system_bus.name_has_owner(FPRINT):
        bus = dbus.Interface(system_bus.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'),
                             'org.freedesktop.DBus')
        os.kill(int(bus.GetConnectionUnixProcessID(FPRINT)), 9)
        wait('fprintd to go', lambda: not system_bus.name_has_owner(FPRINT))


def enrol():
    enrolling = subprocess.Popen(['fprintd-enroll', '-f', 'right-index-finger', USER], stdout=subprocess.PIPE, text=True)
    for _ in range(5):
        time.sleep(0.3)
        reader('SCAN finger-1')
    assert 'enroll-completed' in enrolling.communicate(timeout=30)[0]


def unlocked_app():
    app = App()
    agent = Agent(app.pid)
    app.press(LOCK)
    agent.answer(PASSWORD)
    wait('the unlocked window', lambda: app.find(TOUCH_ID))
    agent.stop()
    return app


# Administrator gate: (name, what to do, expected end) — the end is checked after.
def polkit_scenario(action):
    app = App()
    agent = None if action == 'no agent' else Agent(app.pid)
    try:
        if action == 'polkitd absent':
            Polkitd.stop()
        elif action == 'policy not installed':
            os.rename(POLICY, POLICY + '.off')
            wait('policy gone', lambda: run('pkaction', '--action-id', 'org.yumekazu.unlock').returncode != 0)
        started = time.monotonic()
        app.press(LOCK)
        if action in ('right password', 'wrong password'):
            agent.answer(PASSWORD if action == 'right password' else 'wrong')
            if action == 'wrong password':
                wait('the refusal (PAM delay)', lambda: 'AUTHENTICATION FAILED' in agent.screen())
        elif action == 'agent dismissed':
            agent.answer('', 'C-c')
        elif action == 'polkitd killed mid-prompt':
            agent.answer()
            Polkitd.stop()
        elif action == 'window closed during the prompt':
            agent.answer()
            monitor = subprocess.Popen(['dbus-monitor', '--system', 'member=CancelCheckAuthorization'],
                                       stdout=subprocess.PIPE, text=True)
            time.sleep(0.5)
            app.close()
            closing = time.monotonic()
            app.process.wait(5)
            quit_after = time.monotonic() - closing
            time.sleep(0.5)
            monitor.terminate()
            assert 'CancelCheckAuthorization' in monitor.communicate()[0], 'the request was not cancelled'
            return 'app quit %.2f s after the close, request cancelled at polkit' % quit_after
        if action == 'right password':
            wait('unlock', lambda: app.find(BANNER))
            return 'unlocked'
        wait('locked and ready again', app.locked, 15)
        ready = time.monotonic() - started
        time.sleep(1)
        assert app.locked(), 'unlocked late'
        return 'stays locked, usable again %.1f s after the press' % ready
    finally:
        if agent:
            agent.stop()
        app.stop()
        if not Polkitd.process or Polkitd.process.poll() is not None:
            Polkitd.start()
        if os.path.exists(POLICY + '.off'):
            os.rename(POLICY + '.off', POLICY)
            wait('policy back', lambda: run('pkaction', '--action-id', 'org.yumekazu.unlock').returncode == 0)


def fingerprint_scenario(app, action):
    other = None
    if action == 'reader busy':
        other = device()
        other.Claim('')
    elif action == 'no enrolled finger':
        run('fprintd-delete', USER)
    elif action == 'fprintd started by D-Bus activation':
        kill_fprintd()
    started = time.monotonic()
    app.press(TOUCH_ID)
    if action in ('reader busy', 'no enrolled finger'):
        message = app.alert()
    else:
        prompt = wait('the fingerprint prompt', lambda: app.find('キャンセル', 'push button'))
        shown = time.monotonic() - started
        time.sleep(0.5)
        if action == 'cancel':
            prompt.queryAction().doAction(0)
        elif action == 'fprintd killed mid-verify':
            kill_fprintd()
        else:
            for command in {'no match': ['SCAN finger-2'], 'retry, then match': ['RETRY 0', 'SCAN finger-1'],
                            'reader error': ['ERROR 0'], 'unplug': ['UNPLUG']}.get(action, ['SCAN finger-1']):
                reader(command)
                time.sleep(0.5)
        if action in ('match', 'retry, then match', 'fprintd started by D-Bus activation'):
            wait('authenticated', lambda: app.find('認証済み ✅'))
            message = 'authenticated; prompt after %.2f s' % shown
        else:
            message = app.alert()
    expected = {'no match': '一致しません', 'reader error': 'エラーが発生', 'cancel': 'キャンセル', 'reader busy': '使用中',
                'no enrolled finger': '登録された指紋がありません', 'unplug': '切断', 'fprintd killed mid-verify': '停止'}
    assert expected.get(action, 'authenticated') in message, message
    if other is not None:
        other.Release()
    if action == 'no enrolled finger':
        enrol()
    if action == 'fprintd killed mid-verify':
        time.sleep(1)
        assert not system_bus.name_has_owner(FPRINT), 'our clean-up started fprintd again'
    elif action == 'unplug':
        kill_fprintd()  # the reader comes back with the next start
    assert wait('the reader to be free', reader_free, 5), 'reader still claimed'
    return message + '; reader free'


POLKIT = ['right password', 'wrong password', 'no agent', 'agent dismissed', 'polkitd killed mid-prompt',
          'polkitd absent', 'policy not installed', 'window closed during the prompt']
# The match ones end the check (the button goes): each needs a fresh window.
FINGERPRINT = ['no match', 'reader error', 'cancel', 'reader busy', 'no enrolled finger', 'unplug',
               'fprintd killed mid-verify', 'match', 'retry, then match', 'fprintd started by D-Bus activation']


def main():
    wanted = set(sys.argv[1:])  # optional scenario names
    results = []

    def attempt(name, scenario):
        if wanted and name not in wanted:
            return
        try:
            results.append((name, True, scenario()))
        except Exception as error:  # noqa: BLE001 (reported as a failed scenario)
            results.append((name, False, '%s: %s' % (type(error).__name__, error)))
        print('%-40s %s  %s' % (results[-1][0], 'ok  ' if results[-1][1] else 'FAIL', results[-1][2]), flush=True)

    Polkitd.start()
    wait('the accessibility registry', lambda: pyatspi.Registry.getDesktop(0) is not None, 20)
    enrol()
    for name in POLKIT:
        attempt(name, lambda name=name: polkit_scenario(name))
    app = None
    for name in FINGERPRINT:
        if app is None or app.find(TOUCH_ID) is None:
            if app:
                app.stop()
            app = unlocked_app()
        attempt(name, lambda name=name: fingerprint_scenario(app, name))
    app.stop()
    passed = sum(1 for result in results if result[1])
    print('real-daemons: %d passed, %d failed' % (passed, len(results) - passed))
    return 0 if passed == len(results) else 1


sys.exit(main())
