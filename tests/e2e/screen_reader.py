# What a blind user hears: the built program walked with the keyboard alone
# while the Orca screen reader runs, judged by the lines Orca speaks (its debug
# log). The gates pass through the simulated services; the fingerprint check
# fails once first. The transcript of keys and spoken lines is kept in
# BUILD_DIR/e2e-orca. Started by the walkthrough driver:
#   screen_reader.py BUILD_DIR ORCA_LOG
import atexit, os, re, shutil, subprocess, sys, tempfile, time  # noqa: E401

import dbus
import pyatspi

from atspi_client import application, walk

BUILD, LOG = sys.argv[1], sys.argv[2]
OUT, WORK = os.path.join(BUILD, 'e2e-orca'), tempfile.mkdtemp()
os.makedirs(OUT, exist_ok=True)
# A spoken line; Orca's echo of a pressed key ("'tab ' {...") is left out.
SPOKEN = re.compile(r"[\d:.]+ - SPEECH OUTPUT: '(.*)'(?: voice=\w+)?\{", re.S)
reader = dbus.Interface(dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS']).get_object(
    'net.reactivated.Fprint', '/net/reactivated/Fprint/Device/0'), 'org.freedesktop.DBus.Mock')
transcript, problems = [], []
log = open(LOG, encoding='utf-8', errors='replace')
log.seek(0, os.SEEK_END)


def heard(settle=1.0, timeout=15.0):
    """The lines spoken since the last call, once Orca has been still for settle seconds."""
    text, last, deadline = '', time.monotonic(), time.monotonic() + timeout
    while time.monotonic() - last < settle and time.monotonic() < deadline:
        chunk = log.read()
        if chunk:
            last, text = time.monotonic(), text + chunk
        time.sleep(0.1)
    # Each entry starts with its time; a line break in what is spoken
    # continues the entry on indented lines.
    entries = re.split(r'\n(?=\d\d:\d\d:\d\d\.\d+ - )', text)
    return [re.sub(r'\n\s*', ' / ', m.group(1)) for m in map(SPOKEN.match, entries) if m]


def step(app, keys, *expected, settle=1.0):
    """Presses keys (an xdotool key name, or a note in brackets for what happens
    without one) and checks that every expected text was among the lines spoken."""
    if not keys.startswith('('):
        subprocess.run(['xdotool', 'key', keys], check=True)
    lines = heard(settle)
    transcript.append((keys, lines))
    problems.extend(f'{keys}: not heard "{e}"' for e in expected if not any(e in line for line in lines))
    # A tab says it is focused whenever it is the current one; its tab bar tells the truth.
    problems.extend(f'{keys}: focus on {n.getRoleName()} "{n.name}", which is not showing' for n, _ in walk(app)
                    if n.getRoleName() != 'page tab' and n.getState().contains(pyatspi.STATE_FOCUSED)
                    and not n.getState().contains(pyatspi.STATE_SHOWING))
    return lines


app_process = subprocess.Popen([os.path.join(BUILD, 'bin', 'yumekazu')], env=dict(
    os.environ, HOME=WORK, XDG_CONFIG_HOME=os.path.join(WORK, 'config'), QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb'))
atexit.register(app_process.kill)
app = application(app_process.pid)
step(app, '(window opens)', 'Yumekazu', '変更するにはカギをクリックします', 'マウスでクリック', settle=2.0)
# Tab and Shift+Tab on the locked window stay on what can be seen.
step(app, 'Tab')
step(app, 'shift+Tab')
step(app, 'space', 'ロック解除済み', '未認証', 'Touch IDで認証してください', 'Touch IDで認証する')
step(app, 'Tab')

# A fingerprint that does not match: the prompt, then the alert with its title.
reader.SetHang(True)
step(app, 'Return', '指紋認証', 'Touch IDで本人確認を行います', '指紋リーダーに指を触れてください', 'キャンセル')
reader.Emit('/net/reactivated/Fprint/Device/0', 'verify-no-match')
step(app, '(finger does not match)', '認証エラー', '指紋が一致しませんでした', 'OK')
step(app, 'Return', 'Touch IDで認証する')

# A finger that matches opens the work area, and the keyboard starts at its top.
reader.SetHang(False)
step(app, 'Return', '指紋認証', '認証済み ✅', '作業エリアを表示しました', settle=2.0)
walked = []
for _ in range(25):
    walked += step(app, 'Tab')
    if '機械学習' in ' '.join(transcript[-1][1]):
        break
problems += [f'Tab through the work area: not heard "{n}"' for n in ('時刻', 'バードパトロール用', '書き留めたいことを記入しよう',
             '保存', '別スレッド', '読込', '変更', '機械学習') if not any(n in line for line in walked)]
step(app, 'space', '結果: ')

# The settings window: each switch says its name and state, Space says the new one.
step(app, 'ctrl+comma', '設定', '読込はrtfにする（拡張子txt推奨）', settle=2.0)
step(app, 'space', 'checked')
step(app, 'Tab', 'indexの近くに動物を表示（再起動必要）')
step(app, 'ctrl+w')

with open(os.path.join(OUT, 'transcript.txt'), 'w', encoding='utf-8') as out:
    for keys, lines in transcript:
        out.write(f'{keys}\n' + ''.join(f'    {line}\n' for line in lines))
spoken = [line for _, lines in transcript for line in lines]
problems += [f'said twice in a row: "{a}"' for a, b in zip(spoken, spoken[1:]) if a == b]
problems += [f'said: "{line}"' for line in spoken if 'layered pane' in line or 'page tab list' in line]
shutil.copy(LOG, os.path.join(OUT, 'orca.log'))
assert not problems, '\n'.join(problems)
print(f'screen reader walk complete; transcript in {OUT}')
