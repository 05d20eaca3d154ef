# Asks an X window to close as a window manager does (WM_DELETE_WINDOW).
# wm-close.py WINDOW_ID
import sys

from Xlib import X, display, protocol

screen = display.Display()
window = screen.create_resource_object('window', int(sys.argv[1]))
request = protocol.event.ClientMessage(window=window, client_type=screen.intern_atom('WM_PROTOCOLS'),
                                       data=(32, [screen.intern_atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0]))
window.send_event(request, event_mask=X.NoEventMask)
screen.flush()
