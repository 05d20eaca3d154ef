# The two gates against the real polkitd and fprintd, run by real-daemons
# inside its private namespace (as root; the app runs as the test user). Each
# scenario reads the window's state from the accessibility tree; fingerprint
# scenarios also check that the reader was given back. Prints a table of what
# was observed and a closing "N passed, N failed" line.
#   scenarios.py [SCENARIO...]

import os, socket, subprocess, sys, time  # noqa: E401

import dbus
import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '../e2e'))
from atspi_client import application, find_all, wait  # noqa: E402

W, APP, USER, PASSWORD = (os.environ[k] for k in ('WORK', 'APP', 'TEST_USER', 'ADMIN_PASSWORD'))
AS_USER = ['setpriv', '--reuid=61001', '--regid=61001', '--init-groups']
LOCK, BANNER, TOUCH_ID, DONE = '変更するにはカギをクリックします', '🔓 ロック解除済み', 'Touch IDで認証する', '認証済み ✅'
POLKITD, FPRINTD = 'org.freedesktop.PolicyKit1', 'net.reactivated.Fprint'
POLICY = W + '/actions/org.yumekazu.unlock.policy'
bus = dbus.SystemBus()


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=False).stdout


def start_polkitd():
    if not bus.name_has_owner(POLKITD):
        subprocess.Popen(['/usr/lib/polkit-1/polkitd', '--no-debug'], stdout=subprocess.DEVNULL, stderr=open(W + '/polkitd.log', 'a'))
        wait('polkitd', lambda: bus.name_has_owner(POLKITD))


def kill(name):
    # The daemon owning name (ours: started here or by the private bus).
    if bus.name_has_owner(name):
        os.kill(int(bus.call_blocking('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                                      'GetConnectionUnixProcessID', 's', [name])), 9)
        wait(name + ' to go', lambda: not bus.name_has_owner(name))


def install_policy(installed):
    if os.path.exists(POLICY) != installed:
        os.rename(*((POLICY + '.off', POLICY) if installed else (POLICY, POLICY + '.off')))
        wait('the policy change', lambda: ('org.yumekazu.unlock' in run('pkaction')) == installed)


class App:
    # The app as the test user, seen through the accessibility tree.

    def __init__(self):
        env = {k: os.environ[k] for k in ('PATH', 'HOME', 'XDG_RUNTIME_DIR', 'DISPLAY', 'DBUS_SESSION_BUS_ADDRESS', 'YUMEKAZU_SERVERS')}
        env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', LANG='C.UTF-8')
        self.process = subprocess.Popen(AS_USER + [APP], env=env, stdout=subprocess.DEVNULL, stderr=open(W + '/app.log', 'a'))
        self.root = application(self.process.pid, 40)  # the first start also wakes the registry
        wait('the locked window', lambda: self.find(LOCK), 20)

    def find(self, name, role=None):
        return next(iter(find_all(self.root, role, name)), None)

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
        texts = [a.name for a in find_all(dialog, 'label', visible=False)]
        self.press('OK')
        wait('the alert to go', lambda: self.find('認証エラー') is None)
        return next(t for t in texts if t and t != '認証エラー')  # the title is shown above the message

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


# The administrator's agent: pkttyagent for the app's process, in tmux.
def tmux(*args):
    return run('tmux', '-S', W + '/tmux.sock', *args)


def start_agent(app):
    tmux('new-session', '-d', '-x', '150', '-y', '40', ' '.join(AS_USER + ['pkttyagent', '--process', str(app.process.pid)]))
    time.sleep(1)  # registration


def answer(*keys):
    # Waits for the password prompt, then types each of keys (text, or a tmux key name after '-').
    wait('the password prompt', lambda: 'Password:' in tmux('capture-pane', '-p'))
    for key in keys:
        tmux('send-keys', *([key[1:]] if key.startswith('-') else ['-l', key]))


def stop_agent():
    open(W + '/agent.log', 'a').write(tmux('capture-pane', '-p'))
    tmux('kill-server')


def close_during_prompt(app):
    answer()
    monitor = subprocess.Popen(['dbus-monitor', '--system', 'member=CancelCheckAuthorization'],
                               stdout=subprocess.PIPE, text=True)
    time.sleep(0.5)
    for window in run('xdotool', 'search', '--onlyvisible', '--pid', str(app.process.pid)).split():
        # As the window manager does: WM_DELETE_WINDOW.
        subprocess.run(['/usr/bin/python3', os.path.join(os.path.dirname(__file__), '../mocks/wm-close.py'), window])
    app.process.wait(5)
    time.sleep(0.5)
    monitor.terminate()
    assert 'CancelCheckAuthorization' in monitor.communicate()[0], 'the request was not cancelled'
    return 'app quit within 5 s of the close, request cancelled at polkit'


def unlocks(app):
    answer(PASSWORD, '-Enter')
    wait('unlock', lambda: app.find(BANNER))
    return 'unlocked'


def refused(app):
    answer('wrong', '-Enter')
    wait('the refusal (PAM delay)', lambda: 'AUTHENTICATION FAILED' in tmux('capture-pane', '-p'))


# Administrator gate: what happens before the press, after it, and the words
# the line under the lock must hold (None: no line, as after an agent asked).
# Unless "after" says otherwise, the window then stays locked and becomes
# usable again.
POLKIT = {'right password': (None, unlocks, None), 'wrong password': (None, refused, None), 'no agent': (None, None, '認証エージェントがありません'),
          'agent dismissed': (None, lambda app: answer('-C-c'), None), 'polkitd absent': (lambda: kill(POLKITD), None, '接続できません'),
          'polkitd killed mid-prompt': (None, lambda app: answer() or kill(POLKITD), '接続できません'),
          'policy not installed': (lambda: install_policy(False), None, 'インストールされていません'),
          'window closed during the prompt': (None, close_during_prompt, None)}


def polkit_scenario(name):
    before, after, line = POLKIT[name]
    app = App()
    try:
        if name != 'no agent':
            start_agent(app)
        if before:
            before()
        started = time.monotonic()
        app.press(LOCK)
        if after and (observed := after(app)):
            return observed
        wait('locked and ready again', app.locked, 15)
        ready = time.monotonic() - started
        time.sleep(1)
        assert app.locked(), 'unlocked late'
        # The line comes as a notification (a screen reader reads it out) and is the button's description.
        said, shown = app.find(LOCK).description, [n.name for n in find_all(app.root, 'notification')]
        assert shown == ([said] if line and line in said else []) and (line or said == 'マウスでクリック'), 'under the lock: %s' % shown
        return 'stays locked, usable again %.1f s after the press; %s' % (ready, '"%s"' % said if line else 'no line')
    finally:
        stop_agent()
        app.stop()
        start_polkitd()
        install_policy(True)


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


def enrol():
    enrolling = subprocess.Popen(['fprintd-enroll', '-f', 'right-index-finger', USER], stdout=subprocess.PIPE, text=True)
    for _ in range(5):
        time.sleep(0.3)
        reader('SCAN finger-1')
    assert 'enroll-completed' in enrolling.communicate(timeout=30)[0]


def scan(*commands):
    def send(_prompt):
        for command in commands:
            reader(command)
            time.sleep(0.5)
    return send


def not_restarted():
    time.sleep(1)
    assert not bus.name_has_owner(FPRINTD), 'our clean-up started fprintd again'


# Fingerprint gate: what happens before the press, while the prompt is up
# (None: no prompt, the alert comes at once), what the window then says, and after.
FINGERPRINT = {
    'no match': (None, scan('SCAN finger-2'), '一致しません', None), 'reader error': (None, scan('ERROR 0'), 'エラーが発生', None),
    'cancel': (None, lambda prompt: prompt.queryAction().doAction(0), 'キャンセル', None),
    'reader busy': (lambda: device().Claim(''), None, '使用中', lambda: device().Release()),
    'no enrolled finger': (lambda: run('fprintd-delete', USER), None, '登録された指紋がありません', enrol),
    'unplug': (None, scan('UNPLUG'), '切断', lambda: kill(FPRINTD)),  # the reader comes back with the next start
    'fprintd killed mid-verify': (None, lambda prompt: kill(FPRINTD), '停止', not_restarted),
    'match': (None, scan('SCAN finger-1'), DONE, None), 'retry, then match': (None, scan('RETRY 0', 'SCAN finger-1'), DONE, None),
    'fprintd started by D-Bus activation': (lambda: kill(FPRINTD), scan('SCAN finger-1'), DONE, None)}
unlocked = []  # the window past the first gate, kept while its Touch ID button is there


def fingerprint_scenario(name):
    before, during, expected, after = FINGERPRINT[name]
    if not unlocked or unlocked[0].find(TOUCH_ID) is None:  # a match ends the check: a fresh window
        while unlocked:
            unlocked.pop().stop()
        unlocked.append(App())
        start_agent(unlocked[0])
        unlocked[0].press(LOCK)
        unlocks(unlocked[0])
        stop_agent()
    app = unlocked[0]
    if before:
        before()
    started = time.monotonic()
    app.press(TOUCH_ID)
    message = ''
    if during:
        prompt = wait('the fingerprint prompt', lambda: app.find('キャンセル', 'push button'))
        message = '; prompt after %.2f s' % (time.monotonic() - started)
        time.sleep(0.5)
        during(prompt)
    message = (wait('authenticated', lambda: app.find(DONE)).name if expected == DONE else app.alert()) + message
    assert expected in message, message
    if after:
        after()
    wait('the reader to be free (another client claims it)', lambda: device().Claim('') or device().Release() or True, 5)
    return message + '; reader free'


def main():
    start_polkitd()
    wait('the accessibility registry', lambda: pyatspi.Registry.getDesktop(0) is not None, 20)
    enrol()
    results = []
    for name in sys.argv[1:] or [*POLKIT, *FINGERPRINT]:
        try:
            observed = polkit_scenario(name) if name in POLKIT else fingerprint_scenario(name)
            results.append(True)
        except Exception as error:  # noqa: BLE001 (reported as a failed scenario)
            observed = '%s: %s' % (type(error).__name__, error)
            results.append(False)
        print('%-40s %s  %s' % (name, 'ok  ' if results[-1] else 'FAIL', observed), flush=True)
    for app in unlocked:
        app.stop()
    print('real-daemons: %d passed, %d failed' % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


sys.exit(main())
