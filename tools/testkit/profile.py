"""States of the user's profile key (HKCU\\Software\\quenvo) for the hostile tests, written in
.reg syntax so that any type and any bytes can be stored."""
import datetime

# First-run facts that no run may lose.
FACTS = {"fday": "2020-1-1", "fver": "1.9.0.0", "ch": "42"}


def today():
    """The date as the programs write it: year-month-day without leading zeros."""
    d = datetime.date.today()
    return f"{d.year}-{d.month}-{d.day}"


def sz(text):
    """A REG_SZ value."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def raw_sz(data: bytes):
    """A REG_SZ given as raw bytes: odd lengths, embedded NULs, no terminator."""
    return "hex(1):" + ",".join(f"{b:02x}" for b in data)


def set_state(wine, state):
    """Replaces the profile key with the given values ({name: .reg value}); None: no key. One
    import: the key is deleted, then written again."""
    text = "[-HKEY_CURRENT_USER\\Software\\quenvo]\r\n"
    if state is not None:
        lines = "".join(f'"{name}"={value}\r\n' for name, value in state.items())
        text += f"\r\n[HKEY_CURRENT_USER\\Software\\quenvo]\r\n{lines}"
    wine.import_reg(text)


def set_texts(wine, texts):
    """Replaces the profile key with REG_SZ values."""
    set_state(wine, {name: sz(value) for name, value in texts.items()})
