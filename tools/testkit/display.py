"""A private X server for the update window, and the fonts its CJK texts name."""
import contextlib
import os
import subprocess

# The window's font families are found only through Wine's replacements, mapped to the CJK
# font of Debian's fonts-wqy-microhei: outlines only, so that small text is drawn smooth (Zen
# Hei's bitmap strikes draw it pixelated).
FONT_REPLACEMENTS = ('[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
                     '"\u5fae\u8f6f\u96c5\u9ed1"="WenQuanYi Micro Hei"\r\n'
                     '"\u5b8b\u4f53"="WenQuanYi Micro Hei"\r\n')


@contextlib.contextmanager
def xvfb():
    """Starts Xvfb on a display it picks itself (so that two runs never take the same one) and
    yields its name once it is ready to accept clients."""
    read, write = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    try:
        with os.fdopen(read) as ready:
            number = ready.readline().strip()  # written once the server listens
        assert number, f"Xvfb did not start (exit code {proc.poll()})"
        yield f":{number}"
    finally:
        proc.terminate()
        proc.wait(timeout=30)


@contextlib.contextmanager
def on_display(wine):
    """The prefix's programs on a private X server, with the window's fonts. The prefix's
    wineserver (and so its desktop, which keeps the display it started with) is restarted
    with the display, and again without it afterwards."""
    wine.import_reg(FONT_REPLACEMENTS)
    with xvfb() as display:
        previous = wine.env.get("DISPLAY")
        wine.restart_server(display)
        try:
            yield display
        finally:
            wine.restart_server(previous)
