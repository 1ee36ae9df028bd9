#!/usr/bin/python3
"""The link as a host-app developer reads it, checked with a validator nobody here wrote (Debian's
python3-jsonschema): the schemas, the examples, every command the controls send, the agreement
of the schema with dunvel-preview explain, the protocol page's examples pushed to a real
companion, and what dunvel-host push and the companion's log say of a snapshot with findings.
Everything on a socket in a private folder; every wait is bounded.

    LinkSchemaTest.py [unittest arguments]
      (DUNVEL_WATCH, DUNVEL_HOST, DUNVEL_PREVIEW, DUNVEL_COMMANDS_SENT, DUNVEL_SOURCE_DIR)
"""
import glob
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from child_processes import Process, eventually  # noqa: E402

SOURCE = os.environ.get("DUNVEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
WATCH = os.environ.get("DUNVEL_WATCH", "build/test/tools/watch/dunvel-watch")
HOST = os.environ.get("DUNVEL_HOST", "build/test/tools/host/dunvel-host")
PREVIEW = os.environ.get("DUNVEL_PREVIEW", "build/test/tools/preview/dunvel-preview")
COMMANDS_SENT = os.environ.get("DUNVEL_COMMANDS_SENT",
                               "build/test/tests/views/dunvel-test-commands-sent")
# 2026-12-09 03:00 UTC: the moment explain judges opening moments against.
NOW = "1796785200"


def validator(name):
    with open(os.path.join(SOURCE, "data", name), encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


SNAPSHOT = validator("snapshot.schema.json")
COMMAND = validator("command.schema.json")


def pointer(path):
    return "".join("/" + str(token).replace("~", "~0").replace("/", "~1") for token in path)


def refused_pointers(document):
    """Where the snapshot schema refuses the document: the value's pointer, and for a key that is
    not allowed, the key's own pointer."""
    pointers = set()
    for error in SNAPSHOT.iter_errors(document):
        at = pointer(error.absolute_path)
        if error.validator == "additionalProperties":
            allowed = error.schema.get("properties", {})
            pointers.update(at + pointer([key]) for key in error.instance if key not in allowed)
        else:
            pointers.add(at)
    return pointers


def covered(at, findings):
    """A refusal at `at` is covered by a finding there, or by a finding that speaks for what is
    below it: a dropped team for its own keys, a rejected list for every team."""
    for finding in findings:
        if finding["pointer"] == at:
            return True
        if finding["kind"] == "dropped-team" and at.startswith(finding["pointer"] + "/"):
            return True
        if finding["kind"] == "teams-rejected" and at.startswith("/teams/"):
            return True
    return False


def json_blocks(markdown):
    return re.findall(r"```json\n(.*?)```", markdown, re.S)


class Companion(Process):
    """dunvel-watch, headless, on a socket of its own; its log collected as it comes."""

    def __init__(self, folder):
        self.socket = os.path.join(folder, "link.sock")
        super().__init__([WATCH, "--headless", "--link", self.socket])
        if not self.wait_for("listening on"):
            raise AssertionError("the companion did not start:\n" + self.text())

    def text(self):
        return self.output()

    def wait_for(self, pattern, after=0, within=10.0):
        return eventually(lambda: re.search(pattern, self.text()[after:]) is not None, within)

    def push(self, path, *options):
        return subprocess.run([HOST, "push", path, "--link", self.socket, *options],
                              capture_output=True, text=True, timeout=30)

    def exchange(self, line):
        """Sends one raw frame line; returns what the companion answered within a moment."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as link:
            link.settimeout(5)
            link.connect(self.socket)
            link.sendall(line.encode("utf-8") + b"\n")
            link.settimeout(0.5)
            answer = b""
            try:
                while not answer.endswith(b"\n"):
                    chunk = link.recv(65536)
                    if not chunk:
                        break
                    answer += chunk
            except socket.timeout:
                pass
            return answer.decode("utf-8")

    def stop(self):
        self.end()


class LinkSchemaTest(unittest.TestCase):
    def test_examples_and_every_command_the_controls_send_meet_the_schemas(self):
        for path in sorted(glob.glob(os.path.join(SOURCE, "examples", "*.json"))):
            with open(path, encoding="utf-8") as example:
                self.assertEqual(list(SNAPSHOT.iter_errors(json.load(example))), [], path)
        sent = subprocess.run([COMMANDS_SENT], capture_output=True, text=True, timeout=60,
                              check=True).stdout.splitlines()
        self.assertEqual(len(sent), 7)
        for line in sent:
            self.assertEqual(list(COMMAND.iter_errors(json.loads(line))), [], line)
        # The schema is exact: what the watch never sends fails it.
        for bad in ({"action": "award"}, {"action": "reveal", "teamId": "t1"},
                    {"action": "award", "teamId": 1}, {"action": "skip"}, {}):
            self.assertFalse(COMMAND.is_valid(bad), bad)

    def test_the_schema_and_explain_agree_over_the_corpus_and_the_examples(self):
        paths = sorted(glob.glob(os.path.join(SOURCE, "fuzz", "corpus", "snapshot", "*.json")) +
                       glob.glob(os.path.join(SOURCE, "examples", "*.json")))
        run = subprocess.run([PREVIEW, "explain", "--json", "--now", NOW, *paths],
                             capture_output=True, text=True, timeout=60)
        self.assertIn(run.returncode, (0, 1), run.stderr)
        reports = [json.loads(line) for line in run.stdout.splitlines()]
        self.assertEqual([report["file"] for report in reports], paths)
        refused = accepted = 0
        for report in reports:
            if "error" in report:  # a file the link itself refuses: no snapshot to judge
                continue
            with open(report["file"], encoding="utf-8") as snapshot_file:
                document = json.load(snapshot_file)
            findings = report["findings"]
            pointers = refused_pointers(document)
            if pointers:
                refused += 1
                for at in pointers:
                    self.assertTrue(covered(at, findings),
                                    f"{report['file']}: the schema refuses {at}, explain says "
                                    f"nothing there: {findings}")
            else:
                accepted += 1
                strict = [f for f in findings if f["kind"] in
                          ("wrong-kind", "unknown-key", "dropped-team", "teams-rejected")]
                self.assertEqual(strict, [], f"{report['file']}: the schema accepts it")
        self.assertGreaterEqual(refused, 8)
        self.assertGreaterEqual(accepted, 8)

    def test_the_protocol_pages_examples_meet_the_schemas_and_a_companion_takes_them(self):
        with open(os.path.join(SOURCE, "docs", "protocol.md"), encoding="utf-8") as page:
            blocks = json_blocks(page.read())
        self.assertGreaterEqual(len(blocks), 8)
        with tempfile.TemporaryDirectory() as folder:
            companion = Companion(folder)
            try:
                kinds = set()
                for block in blocks:
                    example = json.loads(block)
                    kinds.add(self.check_example(example, companion, folder))
            finally:
                companion.stop()
        self.assertEqual(kinds, {"snapshot frame", "snapshot", "command", "reachability",
                                 "error"})

    def check_example(self, example, companion, folder):
        shown = {"question": "question", "answer": "answer", "board": "scoreboard",
                 "tournament": "tournament"}
        if example.get("type") == "reachability":
            self.assertEqual(companion.exchange(json.dumps(example)), "")
            return "reachability"
        if example.get("type") == "error":
            # The page's error is the companion's own answer to the frame it describes.
            answer = companion.exchange(
                '{"type":"context","payload":{"teams":[{"id":"a","name":null}]}}')
            self.assertEqual(json.loads(answer), example)
            return "error"
        payload = example.get("payload", example)
        if "action" in payload:
            self.assertEqual(list(COMMAND.iter_errors(payload)), [], example)
            return "command"
        self.assertEqual(list(SNAPSHOT.iter_errors(payload)), [], example)
        path = os.path.join(folder, "example.json")
        with open(path, "w", encoding="utf-8") as snapshot_file:
            json.dump(payload, snapshot_file, ensure_ascii=False)
        before = len(companion.text())
        options = ["--message"] if example.get("type") == "message" else []
        pushed = companion.push(path, "--strict", *options)
        self.assertEqual((pushed.returncode, pushed.stderr), (0, ""), example)
        screen = shown.get(payload.get("screen"), "idle")
        self.assertTrue(companion.wait_for("screen " + screen, after=before), companion.text())
        self.assertNotIn("snapshot:", companion.text()[before:])
        return "snapshot frame" if "type" in example else "snapshot"

    def test_push_prints_the_findings_strict_sends_nothing_and_the_log_has_one_line(self):
        why = os.path.join(SOURCE, "fuzz", "corpus", "snapshot", "explain-why.json")
        with tempfile.TemporaryDirectory() as folder:
            companion = Companion(folder)
            try:
                pushed = companion.push(why)
                self.assertEqual(pushed.returncode, 0, pushed.stderr)
                findings = pushed.stderr.splitlines()
                self.assertEqual([line.split(": ")[2:4] for line in findings],
                                 [["/questionOpenedAt", "wrong-kind"],
                                  ["/screen", "unknown-screen"], ["/teams/0", "dropped-team"],
                                  ["/teams/0/points", "wrong-kind"],
                                  ["/turnTeamID", "unknown-key"]])
                self.assertTrue(companion.wait_for(
                    r"snapshot: 5 findings: /questionOpenedAt wrong-kind, /screen "
                    r"unknown-screen, /teams/0 dropped-team, and 2 more\n"), companion.text())

                # --strict: the findings, then nothing sent.
                board = os.path.join(folder, "board.json")
                with open(board, "w", encoding="utf-8") as snapshot_file:
                    json.dump({"screen": "board", "teams": [{"id": "a"}, {"id": "a"}]},
                              snapshot_file)
                before = len(companion.text())
                refused = companion.push(board, "--strict")
                self.assertEqual(refused.returncode, 1)
                self.assertIn("/teams/1: duplicate-id:", refused.stderr)
                self.assertIn("not sent", refused.stderr)
                # A snapshot without findings adds no line but its screen.
                clean = companion.push(os.path.join(SOURCE, "examples", "board.json"),
                                       "--strict")
                self.assertEqual((clean.returncode, clean.stderr), (0, ""))
                self.assertTrue(companion.wait_for("screen scoreboard", after=before))
                log = companion.text()[before:]
                self.assertNotIn("snapshot:", log)
                self.assertEqual(log.count("screen scoreboard"), 1, log)
            finally:
                companion.stop()


if __name__ == "__main__":
    unittest.main()
