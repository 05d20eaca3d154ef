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
    while True:
        try:
            value = probe()
        except Exception:  # the tree changes under us while windows come and go
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.1)


def application(pid, timeout=20.0):
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid and app.childCount:
                return app
    return wait(f'the accessible application of pid {pid}', find, timeout)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find_all(root, role, name=None, visible=True):
    return [n for n, _ in walk(root) if n.getRoleName() == role and (name is None or n.name == name)
            and (not visible or showing(n))]


def find(root, role, name=None, timeout=10.0, visible=True):
    return wait(f'{role} "{name}"', lambda: next(iter(find_all(root, role, name, visible)), None),
                timeout)


# Runs the named accessible action (the first one when None).
def act(node, action=None):
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    actions.doAction(names.index(action) if action else 0)


def text(node):
    return node.queryText().getText(0, -1)


def set_text(node, value):
    node.queryEditableText().setTextContents(value)


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def cells(table):
    t = table.queryTable()
    headers = [t.getColumnHeader(c).name for c in range(t.nColumns)]
    rows = [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]
    return headers, rows


# Writes the tree under root, one node a line; returns the unnamed controls.
def dump(root, path):
    unnamed = []
    with open(path, 'w', encoding='utf-8') as out:
        for node, depth in walk(root):
            role, states = node.getRoleName(), node.getState()
            flags = [s for s, f in (('showing', pyatspi.STATE_SHOWING), ('focused', pyatspi.STATE_FOCUSED),
                                    ('checked', pyatspi.STATE_CHECKED)) if states.contains(f)]
            out.write(f'{"  " * depth}{role} "{node.name}" "{node.description}" {" ".join(flags)}\n')
            if role in NAMED_ROLES and not node.name.strip():
                unnamed.append(f'{role} at depth {depth} under "{node.parent.name}"')
    return unnamed
