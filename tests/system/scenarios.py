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

W, APP, USER, PASSWORD = (os.environ[k] for k in ('WORK', 'APP', 'TEST_USER', 'ADMIN_PASSWORD'))
AS_USER = ['setpriv', '--reuid=61001', '--regid=61001', '--init-groups']
LOCK, BANNER, TOUCH_ID, DONE = '変更するにはカギをクリックします', '🔓 ロック解除済み', 'Touch IDで認証する', '認証済み ✅'
POLKITD, FPRINTD = 'org.freedesktop.PolicyKit1', 'net.reactivated.Fprint'
POLICY = W + '/actions/org.yumekazu.unlock.policy'
bus = dbus.SystemBus()
bus_daemon = dbus.Interface(bus.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'), 'org.freedesktop.DBus')


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=False)


def log(name):
    return open(f'{W}/{name}.log', 'a')


def start_polkitd():
    if not bus.name_has_owner(POLKITD):
        subprocess.Popen(['/usr/lib/polkit-1/polkitd', '--no-debug'], stdout=subprocess.DEVNULL, stderr=log('polkitd'))
        wait('polkitd', lambda: bus.name_has_owner(POLKITD))


def kill(name):
    # The daemon owning name (ours: started here or by the private bus).
    if bus.name_has_owner(name):
        os.kill(int(bus_daemon.GetConnectionUnixProcessID(name)), 9)
        wait(name + ' to go', lambda: not bus.name_has_owner(name))


def policy_installed(installed):
    if os.path.exists(POLICY) != installed:
        os.rename(*((POLICY + '.off', POLICY) if installed else (POLICY, POLICY + '.off')))
        wait('the policy change', lambda: (run('pkaction', '--action-id', 'org.yumekazu.unlock').returncode == 0)
             == installed)


class App:
    # The app as the test user, seen through the accessibility tree.

    def __init__(self):
        env = {k: os.environ[k] for k in ('PATH', 'HOME', 'XDG_RUNTIME_DIR', 'DISPLAY', 'DBUS_SESSION_BUS_ADDRESS')}
        env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', LANG='C.UTF-8')
        self.process = subprocess.Popen(AS_USER + [APP], env=env, stdout=subprocess.DEVNULL, stderr=log('app'))
        self.root = application(self.process.pid, 40)  # the first start also wakes the registry
        wait('the locked window', lambda: self.find(LOCK), 20)

    def find(self, name, role=None):
        return pyatspi.findDescendant(self.root, lambda a: a.name == name and role in (None, a.getRoleName())
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
        for window in run('xdotool', 'search', '--onlyvisible', '--pid', str(self.process.pid)).stdout.split():
            subprocess.run(['/usr/bin/python3', os.path.join(os.path.dirname(__file__), '../mocks/wm-close.py'), window],
                           check=True)

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

    def answer(self, *keys):
        # Waits for the password prompt, then types each of keys (text, or a tmux key name after '-').
        wait('the password prompt', lambda: 'Password:' in self.screen())
        for key in keys:
            subprocess.run(self.tmux + ['send-keys'] + (['-l', key] if not key.startswith('-') else [key[1:]]), check=True)

    def stop(self):
        log('agent').write(self.screen())
        run(*self.tmux, 'kill-server')


def reader(command):
    # One command to libfprint's virtual reader (it listens while the device is open).
    def send():
        with socket.socket(socket.AF_UNIX) as connection:
            connection.connect(W + '/reader')
            connection.sendall(command.encode())
        return True
    wait('the virtual reader', send)


def device():
    path = bus.get_object(FPRINTD, '/net/reactivated/Fprint/Manager').GetDefaultDevice(dbus_interface=FPRINTD + '.Manager')
    return dbus.Interface(bus.get_object(FPRINTD, path), FPRINTD + '.Device')


def reader_free():
    # A second client can claim the reader.
    other = device()
    other.Claim('')
    other.Release()
    return True


def enrol():
    enrolling = subprocess.Popen(['fprintd-enroll', '-f', 'right-index-finger', USER], stdout=subprocess.PIPE, text=True)
    for _ in range(5):
        time.sleep(0.3)
        reader('SCAN finger-1')
    assert 'enroll-completed' in enrolling.communicate(timeout=30)[0]


# Administrator gate: what happens around the press, and what the agent types
# (None: no agent; nothing: only wait for its prompt).
POLKIT = {'right password': ([PASSWORD, '-Enter'], None), 'wrong password': (['wrong', '-Enter'], None),
          'no agent': (None, None), 'agent dismissed': (['-C-c'], None), 'polkitd killed mid-prompt': ([], 'kill'),
          'polkitd absent': ([], 'before'), 'policy not installed': ([], 'before'),
          'window closed during the prompt': ([], 'close')}


def polkit_scenario(name):
    keys, when = POLKIT[name]
    app = App()
    agent = keys is not None and Agent(app.process.pid)
    try:
        if name == 'polkitd absent':
            kill(POLKITD)
        elif name == 'policy not installed':
            policy_installed(False)
        started = time.monotonic()
        app.press(LOCK)
        if agent and when != 'before':
            agent.answer(*keys)
        if name == 'wrong password':
            wait('the refusal (PAM delay)', lambda: 'AUTHENTICATION FAILED' in agent.screen())
        elif when == 'kill':
            kill(POLKITD)
        elif when == 'close':
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
        if name == 'right password':
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
        start_polkitd()
        policy_installed(True)


# Fingerprint gate: what the virtual reader is told while the prompt is up
# (None: no prompt, the alert comes at once), and what the window then says.
FINGERPRINT = {'no match': (['SCAN finger-2'], '一致しません'), 'reader error': (['ERROR 0'], 'エラーが発生'),
               'cancel': ([], 'キャンセル'), 'reader busy': (None, '使用中'),
               'no enrolled finger': (None, '登録された指紋がありません'), 'unplug': (['UNPLUG'], '切断'),
               'fprintd killed mid-verify': ([], '停止'), 'match': (['SCAN finger-1'], DONE),
               'retry, then match': (['RETRY 0', 'SCAN finger-1'], DONE),
               'fprintd started by D-Bus activation': (['SCAN finger-1'], DONE)}


def fingerprint_scenario(app, name):
    commands, expected = FINGERPRINT[name]
    other = device() if name == 'reader busy' else None
    if other:
        other.Claim('')
    elif name == 'no enrolled finger':
        run('fprintd-delete', USER)
    elif name == 'fprintd started by D-Bus activation':
        kill(FPRINTD)
    started = time.monotonic()
    app.press(TOUCH_ID)
    message = ''
    if commands is not None:
        prompt = wait('the fingerprint prompt', lambda: app.find('キャンセル', 'push button'))
        message = '; prompt after %.2f s' % (time.monotonic() - started)
        time.sleep(0.5)
        if name == 'cancel':
            prompt.queryAction().doAction(0)
        elif name == 'fprintd killed mid-verify':
            kill(FPRINTD)
        for command in commands:
            reader(command)
            time.sleep(0.5)
    message = (wait('authenticated', lambda: app.find(DONE)).name if expected == DONE else app.alert()) + message
    assert expected in message, message
    if other:
        other.Release()
    if name == 'no enrolled finger':
        enrol()
    if name == 'fprintd killed mid-verify':
        time.sleep(1)
        assert not bus.name_has_owner(FPRINTD), 'our clean-up started fprintd again'
    elif name == 'unplug':
        kill(FPRINTD)  # the reader comes back with the next start
    wait('the reader to be free', reader_free, 5)
    return message + '; reader free'


def main():
    wanted = set(sys.argv[1:])  # optional scenario names
    results = []
    start_polkitd()
    wait('the accessibility registry', lambda: pyatspi.Registry.getDesktop(0) is not None, 20)
    enrol()
    app = None
    for name in [*POLKIT, *FINGERPRINT]:
        if wanted and name not in wanted:
            continue
        try:
            if name in POLKIT:
                observed = polkit_scenario(name)
            else:
                # The match ones end the check (the button goes): each needs a fresh window.
                if app is None or app.find(TOUCH_ID) is None:
                    if app:
                        app.stop()
                    app = App()
                    agent = Agent(app.process.pid)
                    app.press(LOCK)
                    agent.answer(PASSWORD, '-Enter')
                    wait('the unlocked window', lambda: app.find(TOUCH_ID))
                    agent.stop()
                observed = fingerprint_scenario(app, name)
            results.append(True)
        except Exception as error:  # noqa: BLE001 (reported as a failed scenario)
            observed = '%s: %s' % (type(error).__name__, error)
            results.append(False)
        print('%-40s %s  %s' % (name, 'ok  ' if results[-1] else 'FAIL', observed), flush=True)
    if app:
        app.stop()
    print('real-daemons: %d passed, %d failed' % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


sys.exit(main())
