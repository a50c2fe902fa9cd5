# pty_run.py DELAY SIGNAL CMD...: runs CMD with its standard output and
# error on a new pseudo-terminal (an argument PTY is that terminal's name),
# sends it SIGNAL after DELAY seconds unless SIGNAL is 0, and prints what
# the terminal showed, then "exit N" or "signal N" as the last line.
import os, pty, select, subprocess, sys, time

delay, sig = float(sys.argv[1]), int(sys.argv[2])
m, s = pty.openpty()
name = os.ttyname(s)
p = subprocess.Popen([name if a == "PTY" else a for a in sys.argv[3:]], stdout=s, stderr=s)
os.close(s)
out, t0, sent = b"", time.monotonic(), sig == 0
while time.monotonic() - t0 < 10:
    if not sent and time.monotonic() - t0 >= delay:
        p.send_signal(sig)
        sent = True
    if select.select([m], [], [], 0.05)[0]:
        try:
            data = os.read(m, 4096)
        except OSError:  # the terminal's last writer has gone
            data = b""
        if not data:
            break
        out += data
    elif p.poll() is not None:
        break
p.kill() if p.poll() is None else None
rc = p.wait()
sys.stdout.buffer.write(out + (b"signal %d\n" % -rc if rc < 0 else b"exit %d\n" % rc))
