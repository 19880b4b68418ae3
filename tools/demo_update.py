"""The update window's part of the demo: "quenvodata.exe /update" as a person uses it, under a
private X server, against the bundled server: an offer downloaded (held half way for a look),
checked and installed by keyboard; then nothing newer, a check that fails, and an installer that
the checks refuse. Each state's screenshot lands in build/demo-shots/."""
import time

from tools import signing
from tools.testkit.dev_server import DevServer
from tools.testkit.display import on_display
from tools.testkit.person import CLASS, INSTALL_BUTTON, INVISIBLE, PROGRESS, SENTENCE, agent, probe_window, wait_read
from tools.testkit.wine import REPO, install, records, wait_for

OFFER = {"v": "1.0.1", "t1": "quenvo 2.1", "u": "http://dl.quenvo.com/f/quenvo_setup.exe"}


def demo_update(wine):
    print("\n=== Update window: quenvodata.exe /update, as a person uses it, under a private X server ===")
    folder = install(wine, "Program Files/quenvo suite", "quenvodata.exe", "window_probe.exe", "accessible_tree.exe")
    exe = folder / "quenvodata.exe"
    # The agent starts only an installer signed by the publisher: the stand-in plays the installer,
    # signed by a throwaway test root that this prefix is told to trust; an unsigned copy is refused.
    certificates = REPO / "build" / "demo-certificates"
    root = signing.make_root(certificates)
    leaf = signing.make_leaf(root, certificates, wine.build.cache("QUENVO_PUBLISHER"))
    setup = folder / "quenvo_setup.exe"
    signing.sign(wine.build.testbin / "fake_quenvo.exe", setup, leaf, time.time())
    (folder / "unsigned_setup.exe").write_bytes((wine.build.testbin / "fake_quenvo.exe").read_bytes())
    wine.trust_root(root.cert)
    print(f"  the offered installer is signed by {signing.subject_cn(leaf.cert)!r}, under a test root the prefix trusts")
    offer = dict(OFFER, sz=str(setup.stat().st_size))
    server = DevServer(dict(offer, faults={"file": {"hold_at": 0.5}}), files_dir=str(folder))
    wine.set_proxy(server.start())
    shots = REPO / "build" / "demo-shots"
    shots.mkdir(parents=True, exist_ok=True)
    received = wine.temp_folder() / "received.txt"
    received.unlink(missing_ok=True)

    def shot(name):
        probe_window(wine, folder, f"find:{CLASS}:5000", f"shot:{wine.win_path(shots / name)}.png")
        print(f"  screenshot: {shots / name}.png")

    try:
        with on_display(wine):
            print("\n  > quenvodata /update, with a newer version on offer (the download held half way)")
            with agent(wine, exe) as ended:
                _, children = wait_read(wine, folder, lambda c, ch: ch[PROGRESS]["value"] not in (None, "0%"))
                print(f"    the window says {children[SENTENCE]['name']!r}, progress {children[PROGRESS]['value']}")
                shot("downloading")
                server.release()
                _, children = wait_read(wine, folder, lambda c, ch: not ch[INSTALL_BUTTON]["state"] & INVISIBLE)
                print(f"    then {children[SENTENCE]['name']!r}, with the {children[INSTALL_BUTTON]['name']!r} button")
                shot("finished")
                probe_window(wine, folder, f"find:{CLASS}:1000", "keys:ENTER")
                print(f"    Enter pressed: the agent ended with {ended()['code']}")
            started = wait_for(lambda: records(received))
            print(f"    the installer was started: {started[-1]['cmdline'] if started else 'NOT STARTED'}")
            for name, config in (("up-to-date", {"v": "1.0.0.3"}), ("check-failed", {"version_body": "busy"}),
                                 ("refused", {"u": "http://dl.quenvo.com/f/unsigned_setup.exe"})):
                server.set_config(dict(offer, **config))
                before = len(server.requests)
                print(f"\n  > quenvodata /update, the server answering {config}")
                with agent(wine, exe) as ended:
                    text = "" if name != "refused" else "safety check"
                    _, children = wait_read(wine, folder, lambda c, ch: ch[SENTENCE]["name"] not in (
                        "Checking for updates...", "Downloading...") and text in ch[SENTENCE]["name"])
                    print(f"    the window says {children[SENTENCE]['name']!r}")
                    shot(name)
                    probe_window(wine, folder, f"find:{CLASS}:1000", "keys:ESC")
                    print(f"    Esc pressed: the agent ended with {ended()['code']}")
                for r in server.requests[before:]:
                    print(f"    server got: {r['kind']:8} {r['host']}{r['path']}")
    finally:
        server.stop()
