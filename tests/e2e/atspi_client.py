# A small AT-SPI client: finds a running program's controls by role and name,
# operates them through their accessible actions and reads back what they
# show, the way a screen reader does.

import time

import pyatspi

# Controls a user operates: each needs a name a screen reader can say.
NAMED_ROLES = {'push button', 'check box', 'toggle button', 'radio button', 'text', 'table',
               'menu item', 'check menu item', 'spin button', 'combo box', 'page tab', 'slider'}


# Polls probe until it returns something true; fails with what after timeout.
def wait(what, probe, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            value = probe()
        except Exception:  # the tree changes under us while windows come and go
            value = None
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f'timed out waiting for {what}')


def application(pid, timeout=20.0):
    return wait(f'the accessible application of pid {pid}', lambda: next(
        (a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.get_process_id() == pid and a.childCount),
        None), timeout)


def walk(node, depth=0):
    yield node, depth
    for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
        yield from walk(child, depth + 1)


def find_all(root, role, name=None, visible=True):  # role or name None: any
    return [n for n, _ in walk(root) if role in (None, n.getRoleName()) and name in (None, n.name)
            and (not visible or n.getState().contains(pyatspi.STATE_SHOWING))]


def find(root, role, name=None, timeout=10.0, visible=True):
    return wait(f'{role} "{name}"', lambda: next(iter(find_all(root, role, name, visible)), None), timeout)


def act(node):  # the control's first action: press, toggle, open
    node.queryAction().doAction(0)


def text(node):
    return node.queryText().getText(0, -1)


# Writes the tree under root, one node a line; returns the unnamed controls.
def dump(root, path):
    with open(path, 'w', encoding='utf-8') as out:
        for node, depth in walk(root):
            flags = [s for s in ('showing', 'focused', 'checked')
                     if node.getState().contains(getattr(pyatspi, 'STATE_' + s.upper()))]
            out.write(f'{"  " * depth}{node.getRoleName()} "{node.name}" "{node.description}" {" ".join(flags)}\n')
    return [f'{n.getRoleName()} at depth {d} under "{n.parent.name}"' for n, d in walk(root)
            if n.getRoleName() in NAMED_ROLES and not n.name.strip()]
