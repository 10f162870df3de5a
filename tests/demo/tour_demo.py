#!/usr/bin/env python3
# The tour on a machine without a desktop, end to end: scripts/run brings Quillmark up on a
# virtual display of its own, a VNC client gets in on localhost with the password the script printed
# (and not with another), LibreOffice opens a window on that display, the selection screen can be
# enlarged there, and Exit followed by q leaves no process of the run behind.
#
# Arguments: the source folder and the build folder whose program the run uses. The run has a
# sandbox domain of its own (<build>/sandbox-demo), so it never stops the integration tests' one.
import os
import pty
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

REPO, BUILD = sys.argv[1], os.path.abspath(sys.argv[2])
SANDBOX = os.path.join(BUILD, "sandbox-demo")
TWIPS_PER_PIXEL = 15


def fail(message):
    raise SystemExit("demo: " + message)


class Run:
    """scripts/run on a terminal of its own, as a person at an ssh prompt starts it."""

    def __init__(self):
        env = dict(os.environ, QUILLMARK_BUILD_DIR=BUILD, QUILLMARK_SANDBOX_DIR=SANDBOX)
        env.pop("DISPLAY", None)
        self.pid, self.terminal = pty.fork()
        if self.pid == 0:
            os.chdir(REPO)
            os.execve("scripts/run", ["scripts/run"], env)
        self.output = ""
        self.status = None

    def expect(self, pattern, seconds):
        deadline = time.monotonic() + seconds
        while not (match := re.search(pattern, self.output)):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.terminal], [], [], left)[0]:
                fail(f"no {pattern!r} from scripts/run within {seconds} s; it wrote:\n{self.output}")
            try:
                self.output += os.read(self.terminal, 4096).decode(errors="replace")
            except OSError:
                fail(f"scripts/run ended before {pattern!r}; it wrote:\n{self.output}")
        return match

    def stop(self):
        """After a failed check: what Ctrl-C does, so the run cleans up after itself."""
        if self.status is None:
            os.killpg(self.pid, signal.SIGINT)
            self.end(120)

    def end(self, seconds):
        deadline = time.monotonic() + seconds
        while not (done := os.waitpid(self.pid, os.WNOHANG))[0]:
            if time.monotonic() > deadline:
                os.kill(self.pid, signal.SIGTERM)
                fail("scripts/run did not end after q")
            try:
                if select.select([self.terminal], [], [], 0.2)[0]:
                    self.output += os.read(self.terminal, 4096).decode(errors="replace")
            except OSError:
                time.sleep(0.2)
        self.status = os.waitstatus_to_exitcode(done[1])
        return self.status


def x(display, *command, seconds=60):
    """An X client on the run's display; its output."""
    done = subprocess.run(command, env=dict(os.environ, DISPLAY=display), capture_output=True,
                          text=True, timeout=seconds)
    return done.stdout if done.returncode == 0 else ""


def window(display, name, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = x(display, "xdotool", "search", "--onlyvisible", "--name", name).split()
        if found:
            return found[0]
        time.sleep(0.5)
    fail(f"no window {name!r} on {display} within {seconds} s")


def click(display, window_id, left, top, width, height):
    """A click in the middle of a control placed in twips."""
    cx, cy = (left + width // 2) // TWIPS_PER_PIXEL, (top + height // 2) // TWIPS_PER_PIXEL
    x(display, "xdotool", "mousemove", "--window", window_id, str(cx), str(cy), "click", "1")


def vnc_snapshot(port, password, folder):
    """True when a VNC client gets a picture of the screen from localhost with this password."""
    stored, picture = os.path.join(folder, password), os.path.join(folder, password + ".jpg")
    subprocess.run(["x11vnc", "-storepasswd", password, stored], check=True, capture_output=True)
    done = subprocess.run(["vncsnapshot", "-quiet", "-passwd", stored, f"localhost:{port - 5900}",
                           picture], capture_output=True, timeout=30)
    return done.returncode == 0 and os.path.exists(picture) and os.path.getsize(picture) > 0


def check_vnc(port, password, folder):
    listeners = subprocess.run(["ss", "-Hltn", f"sport = :{port}"], capture_output=True,
                               text=True).stdout.split()[3::5]
    for address in (listener.rsplit(":", 1)[0] for listener in listeners):
        if address not in ("127.0.0.1", "[::1]"):
            fail(f"the VNC server listens on {address}, not on localhost only")
    if not vnc_snapshot(port, password, folder):
        fail("a VNC client did not get in with the printed password")
    if vnc_snapshot(port, "wrong" + password[:3], folder):
        fail("a VNC client got in with another password")


def check_libreoffice(display, folder):
    office = subprocess.Popen(
        ["libreoffice", f"-env:UserInstallation=file://{folder}/profile", "--calc"],
        env=dict(os.environ, DISPLAY=display), start_new_session=True,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window(display, "LibreOffice Calc", 120)
    finally:
        os.killpg(office.pid, signal.SIGTERM)
        office.wait(timeout=30)


def check_selection_screen_grows(display, main):
    """Next shows the selection screen; enlarged, its tree grows and Exit keeps its place relative
    to the bottom left corner, so a click there still ends the program."""
    click(display, main, 3800, 4920, 1215, 495)  # Next
    deadline = time.monotonic() + 60
    while (select_screen := window(display, "^Quillmark$", 30)) == main and (
            time.monotonic() < deadline):
        time.sleep(0.5)
    x(display, "xdotool", "windowmove", "--sync", select_screen, "0", "0")
    x(display, "xdotool", "windowsize", "--sync", select_screen, "900", "760")
    geometry = x(display, "xdotool", "getwindowgeometry", select_screen)
    if "900x760" not in geometry:
        fail(f"the selection screen could not be enlarged: {geometry}")
    grown_by = 760 - (8490 + 7) // TWIPS_PER_PIXEL
    click(display, select_screen, 1440, 7700 + grown_by * TWIPS_PER_PIXEL, 1215, 495)  # Exit


def live_fields(pid):
    """The fields of /proc/PID/stat after the name (state first); None when gone or a zombie."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return fields if fields[0] != "Z" else None
    except (OSError, IndexError):
        return None


def left_behind(session, holder):
    """The processes of the run's session still alive, and the sandbox's holder if it is."""
    return [int(pid) for pid in filter(str.isdigit, os.listdir("/proc"))
            if (fields := live_fields(pid)) and (int(fields[3]) == session or int(pid) == holder)]


def main():
    if os.geteuid() != 0:
        print("demo: scripts/run makes network namespaces, which needs root; skipped")
        sys.exit(77)
    started = time.monotonic()
    run = Run()
    try:
        take_the_tour(run)
    finally:
        run.stop()
    print(f"demo: the tour's run took {time.monotonic() - started:.0f} s")


def take_the_tour(run):
    display = run.expect(r"on the virtual display (:\d+)", 600).group(1)
    port = int(run.expect(r"ssh -L 5900:localhost:(\d+) ", 10).group(1))
    password = run.expect(r"localhost:5900 with the password (\w+)", 10).group(1)
    os.environ["XAUTHORITY"] = run.expect(r"XAUTHORITY=(\S+) DISPLAY=:\d+ libreoffice", 10).group(1)
    run.expect(r"the log of Set runs and the restore sheets: \S+", 10)
    with open(os.path.join(SANDBOX, "run", "holder.pid")) as holder_file:
        holder = int(holder_file.read().split()[0])
    main_screen = window(display, "^Quillmark$", 60)
    stranger = subprocess.run(["xdpyinfo"], env=dict(os.environ, DISPLAY=display,
                                                     XAUTHORITY="/dev/null"), capture_output=True)
    if stranger.returncode == 0:
        fail(f"the virtual display {display} lets in a client without its key")
    with tempfile.TemporaryDirectory() as folder:
        check_vnc(port, password, folder)
        check_libreoffice(display, folder)
    check_selection_screen_grows(display, main_screen)
    run.expect(r"q stops: ", 30)
    os.write(run.terminal, b"q\r")
    if run.end(60) != 0:
        fail("scripts/run did not end cleanly:\n" + run.output)
    # A process killed a moment ago may still wait to be reaped.
    deadline = time.monotonic() + 15
    while left := left_behind(run.pid, holder):
        if time.monotonic() > deadline:
            fail(f"processes of the run are still there: {left}")
        time.sleep(0.5)
    if os.path.exists(f"/tmp/.X{display[1:]}-lock"):
        fail(f"the virtual display {display} is still there")


if __name__ == "__main__":
    main()
