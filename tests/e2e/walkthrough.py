# A user's whole way through the built program as a screen reader drives it:
# controls found by role and name, pressed through their actions, state read
# back from the accessibility tree and the preference file. Started by the
# walkthrough driver, which provides the buses, the simulated services and the
# display:  walkthrough.py BUILD_DIR x11|wayland
import atexit, os, stat, subprocess, sys, tempfile, time  # noqa: E401

import dbus

from atspi_client import act, application, dump, find, find_all, text, wait

BUILD, PLATFORM = sys.argv[1], sys.argv[2]
X11 = PLATFORM == 'x11'
TREES, SHOTS, WORK = os.path.join(BUILD, 'e2e-atspi', PLATFORM), os.path.join(BUILD, 'e2e-screens'), tempfile.mkdtemp()
PREFS = os.path.join(WORK, 'config', 'yumekazu', 'preferences.ini')
WEATHER = '明日は台風が近づくので、朝から強い雨と風になるそうだ。'
LOCK, UNLOCKED, TOUCH_ID, DONE = '変更するにはカギをクリックします', '🔓 ロック解除済み', 'Touch IDで認証する', '認証済み ✅'
NOTE = '書き留めたいことを記入しよう'
for folder in (TREES, SHOTS):
    os.makedirs(folder, exist_ok=True)
# The simulated reader (polkit's simulation already grants the action).
reader = dbus.Interface(dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS']).get_object(
    'net.reactivated.Fprint', '/net/reactivated/Fprint/Device/0'), 'org.freedesktop.DBus.Mock')


def start():
    env = dict(os.environ, HOME=WORK, XDG_CONFIG_HOME=os.path.join(WORK, 'config'), QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
               QT_QPA_PLATFORM='xcb' if X11 else 'wayland')
    if not X11:
        # Qt 6.4's text-input support dereferences the seat that a headless
        # compositor does not have; the compose-key input method is X11's default.
        env['QT_IM_MODULE'] = 'compose'
    process = subprocess.Popen([os.path.join(BUILD, 'bin', 'yumekazu')], env=env)
    atexit.register(process.kill)
    app = application(process.pid)
    return process, app, wait('the main window', lambda: next(iter(frames(app)), None))


# Keeps the tree (and on X11 a picture) of a stage; every control must be named.
def stage(window, name):
    time.sleep(0.3)
    unnamed = dump(window, os.path.join(TREES, name + '.txt'))
    assert not unnamed, f'{name}: controls without a name: {unnamed}'
    if X11:  # the stage's own window, cut from the screen
        box = window.queryComponent().getExtents(0)  # screen coordinates
        subprocess.run(['import', '-window', 'root', '-crop', f'{box.width}x{box.height}+{box.x}+{box.y}',
                        os.path.join(SHOTS, name + '.png')], check=True)


def pref(key):  # only inside wait(), which retries while the file is missing
    with open(PREFS, encoding='utf-8') as f:
        return next((line.rstrip('\n').split('=', 1)[1] for line in f if line.startswith(key + '=')), None)


def press(root, name, role='push button'):
    act(find(root, role, name, visible=role != 'menu item'))


def frames(app):
    return [f for f in app if f.getRoleName() == 'frame' and f.name != '設定']


app_process, app, window = start()
stage(window, 'locked')

press(window, LOCK)
find(window, 'label', UNLOCKED)
stage(window, 'unlocked')

# The fingerprint prompt while the reader waits; cancelling it is a failure
# that the alert tells; a second try matches.
reader.SetHang(True)
press(window, TOUCH_ID)
prompt = find(app, 'dialog', '指紋認証')
stage(prompt, 'fingerprint-prompt')
press(prompt, 'キャンセル')
alert = find(app, 'alert', '認証エラー')
find(alert, 'label', '認証がキャンセルされました')
stage(alert, 'alert')
press(alert, 'OK')
wait('the alert to go', lambda: not find_all(app, 'alert'))
reader.SetHang(False)
press(window, TOUCH_ID)
find(window, 'label', DONE, timeout=15)
editor = find(window, 'text', NOTE)
stage(window, 'work-area')

# The sample table reads as a table with headers, and the button steps it on.
table = find(window, 'table', 'バードパトロール用')
assert [table.queryTable().getColumnHeader(c).name for c in range(3)] == ['Name', 'Family', 'Foods']
first = table.queryTable().getAccessibleAt(0, 0).name
press(window, '変更')
wait('the next table', lambda: table.queryTable().getAccessibleAt(0, 0).name != first)

# Writing in the note through its text interface (keys and an input method
# type into it in the input-method test).
editor.queryEditableText().setTextContents('ねこと鳥')
wait('the note on disk', lambda: pref('StringKey') == 'ねこと鳥')

# Opening a text file replaces the note; classifying it gives a label.
with open(os.path.join(WORK, 'note.txt'), 'w', encoding='utf-8') as f:
    f.write(WEATHER)
press(window, '読込')
dialog = find(app, 'dialog', timeout=10)
find(dialog, 'text').queryEditableText().setTextContents(os.path.join(WORK, 'note.txt'))
act(next(b for b in find_all(dialog, 'push button') if b.name in ('開く(O)', '開く(&O)', '開く')))
wait('the opened note', lambda: pref('StringKey') == WEATHER and text(editor) == WEATHER)
press(window, '機械学習')
find(window, 'label', '結果: 天気', timeout=20)

# A second window starts locked; the first stays open at work. The window
# menu then gathers both as tabs of one.
press(app, '新規ウインドウ', 'menu item')
wait('a second window', lambda: len(frames(app)) == 2)
stage(next(f for f in frames(app) if find_all(f, 'push button', LOCK)), 'second-window')
assert [f for f in frames(app) if find_all(f, 'text', NOTE)], 'the first window lost its work'

press(app, 'すべてのウインドウを結合', 'menu item')
wait('one window of two tabs', lambda: len(frames(app)) == 1 and len(find_all(app, 'page tab')) == 2)
stage(frames(app)[0], 'tabs')

# Settings (its switches are flipped by clicks in window-limits, by keys in
# the screen-reader walk).
press(app, '設定…', 'menu item')
stage(find(app, 'frame', '設定'), 'settings')

# Quit: the note is kept, privately, and is there after a new start.
press(app, '終了', 'menu item')
assert app_process.wait(10) == 0
assert stat.S_IMODE(os.stat(PREFS).st_mode) == 0o600
app_process, app, window = start()
press(window, LOCK)
press(window, TOUCH_ID)
assert text(find(window, 'text', NOTE, timeout=15)) == WEATHER
print(f'walkthrough on {PLATFORM} complete; trees in {TREES}')
