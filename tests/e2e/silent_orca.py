# Runs Orca as the tests' screen reader: its debug log written line by line,
# and a speech server that makes no sound in place of speech-dispatcher, whose
# output modules need a sound device. Orca logs every line it speaks before it
# hands the line to the server. Runs under another process name than "orca",
# so another user's Orca on the machine does not make it quit.
#   silent_orca.py ORCA_OPTIONS... --debug-file FILE
import builtins, runpy, sys, types  # noqa: E401

from orca import settings, speechserver


SilentServer = type('SilentServer', (speechserver.SpeechServer,), {
    'getFactoryName': staticmethod(lambda: 'silent'), 'getSpeechServers': staticmethod(lambda: [SilentServer()]),
    'getSpeechServer': staticmethod(lambda info=None: SilentServer()),
    'getInfo': lambda self: ['silent', 'silent'], 'getVoiceFamilies': lambda self: []})
factory = types.ModuleType('silent_speech')
factory.SpeechServer = SilentServer
sys.modules['silent_speech'] = factory
settings.speechServerFactory, settings.speechFactoryModules = 'silent_speech', ['silent_speech']

log, real_open = sys.argv[-1], builtins.open
builtins.open = lambda file, mode='r', *args, **kwargs: (
    real_open(file, mode, 1) if file == log else real_open(file, mode, *args, **kwargs))
sys.argv = ['orca'] + sys.argv[1:]
runpy.run_path('/usr/bin/orca', run_name='__main__')
