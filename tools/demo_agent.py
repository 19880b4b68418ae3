"""The agent's part of the demo: quenvodata.exe under Wine reports to the local dev server,
reached as the prefix's system proxy. It runs "data=install" twice, "data=run" twice and
"data=uninstall", and shows what the server received (with the flag checked here by
hashlib), the update offer it served, what the offer did, and the registry afterwards."""
import datetime
import hashlib
from pathlib import Path

from tools.testkit.dev_server import DevServer
from tools.testkit.wine import install

SECRET = "mer4721pkZBw53QJT610lavefoki"
OFFER = {"v": "1.0.1", "t1": "quenvo 2.1 is ready", "t2": "Faster start", "t3": "Safer documents",
         "u": "http://dl.quenvo.com/f/QuenvoSetup_2.1.exe", "sz": "4096"}
STEPS = ["data=install", "data=install", "data=run", "data=run", "data=uninstall"]


def signed_as(params):
    """The flag that the report should carry, computed here from the request as sent."""
    values = dict(params)
    event = "run" if values.get("reg") == "dayrun" else values.get("reg", "")
    text = "mid=%s&os=%s&c=%s&reg=%s&secret=%s" % (values.get("mid", ""), values.get("os", ""),
                                                   values.get("c", ""), event, SECRET)
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def describe(entry):
    values = dict(entry["params"])
    where = f"{entry['host']}{entry['path']}"
    if entry["kind"] == "report":
        ok = values.get("flag") == signed_as(entry["params"]) and entry.get("flag_ok")
        return f"report  reg={values.get('reg', ''):10} {where:28} flag {'verified' if ok else 'WRONG'}"
    if entry["kind"] == "version":
        return f"query   {'':14} {where:28} answered {entry.get('reply_body', '')!r}"
    return f"{entry['kind']:7} {where}"


def demo_agent(wine):
    print("\n=== Statistics and update agent: quenvodata.exe against the local dev server ===")
    server = DevServer(OFFER)
    port = server.start()
    wine.set_proxy(port)
    print(f"  dev server on 127.0.0.1:{port}, set as the prefix's HTTP proxy")
    try:
        folder = install(wine, "Program Files/quenvo suite", "quenvodata.exe")
        exe = folder / "quenvodata.exe"
        wine.clear_profile()
        target = wine.temp_folder() / Path(OFFER["u"]).name
        target.write_bytes(b"an old, half-downloaded installer")
        print(f"  left an old file where an offered installer would go: {wine.win_path(target)}")

        first_request = None
        for tail in STEPS:
            before = len(server.requests)
            code, seconds = wine.run_raw(exe, f'"{wine.win_path(exe)}" {tail}')
            sent = server.requests[before:]
            print(f"\n  > quenvodata {tail:16} exit code {code}  ({seconds:.2f} s)")
            for entry in sent or [None]:
                print("      " + (describe(entry) if entry else "(nothing sent)"))
            first_request = first_request or (sent[0] if sent else None)

        if first_request:
            print("\n  The first report, key by key:")
            for key, value in first_request["params"]:
                print(f"      {key:8} = {value}")

        print("\n  Update offer served:", "".join(f"{k}={v}**" for k, v in OFFER.items()))
        print(f"  {OFFER['v']} > 1.0.0.3, so the offer was recorded and the old file "
              f"{'was deleted' if not target.exists() else 'is STILL THERE'}")

        print("\n  Registry afterwards (HKCU\\Software\\quenvo):")
        for name, text in sorted(wine.reg_texts().items()):
            print(f"      {name:8} = {text!r}")
        d = datetime.date.today()
        print(f"  (today is {d.year}-{d.month}-{d.day}; \"install\" and \"rday\" are the agent's one-time marks)")
    finally:
        server.stop()

