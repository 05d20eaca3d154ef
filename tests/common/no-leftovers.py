# Runs a command and fails if anything it started outlives it. Orphans come to
# this process (a child subreaper) however they detached, so what is still
# here a few seconds after the command ended was left behind: it is listed,
# stopped, and the run fails. The check also runs after an interrupted run:
# INT (Ctrl+C reaches the command from the terminal itself) is ignored here,
# TERM is passed on.
#   no-leftovers.py COMMAND...
import contextlib, ctypes, os, signal, subprocess, sys, time  # noqa: E401

PR_SET_CHILD_SUBREAPER, GRACE = 36, 5


def descendants():
    # Live processes below this one (zombies are reaped, not left behind).
    parents = {}
    for entry in filter(str.isdigit, os.listdir('/proc')):
        with contextlib.suppress(OSError, ValueError), open(f'/proc/{entry}/stat') as stat:
            state, parent = stat.read().rsplit(')', 1)[1].split()[:2]
            if state != 'Z':
                parents[int(entry)] = int(parent)
    found, frontier = set(), {os.getpid()}
    while frontier := {pid for pid, parent in parents.items() if parent in frontier} - found:
        found |= frontier
    return found


def reap():
    with contextlib.suppress(ChildProcessError):
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass


if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
    sys.exit('no-leftovers: cannot become a subreaper')
child = subprocess.Popen(sys.argv[1:])
signal.signal(signal.SIGINT, signal.SIG_IGN)
signal.signal(signal.SIGTERM, lambda received, _frame: child.send_signal(received))
status = child.wait()
deadline = time.monotonic() + GRACE
while (left := descendants()) and time.monotonic() < deadline:
    reap()
    time.sleep(0.2)
if left:
    print(f'no-leftovers: {len(left)} processes outlived {sys.argv[1]}:', file=sys.stderr)
    subprocess.run(['ps', '-o', 'pid,user,args', '-p', ','.join(map(str, sorted(left)))], stdout=sys.stderr)
    for number in (signal.SIGTERM, signal.SIGKILL):
        for pid in descendants():
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, number)
        time.sleep(1)
        reap()
sys.exit(1 if left else status if status >= 0 else 128 - status)
