"""Fault hooks shared by the test FTP server and the relay in front of real servers."""

import json
import os


class Faults:
    def __init__(self, path):
        self.path = path
        self.gen = None
        self.faults = []
        self.used = {}

    def reload(self):
        if not self.path or not os.path.exists(self.path):
            self.faults = []
            return
        try:
            with open(self.path, "r", encoding="utf-8", errors="surrogateescape") as f:
                data = json.load(f)
        except (OSError, ValueError):
            return
        if data.get("gen") != self.gen:
            self.gen = data.get("gen")
            self.used = {}
        self.faults = data.get("faults", [])

    def match(self, cmd, arg):
        self.reload()
        for i, f in enumerate(self.faults):
            if f.get("cmd", "").upper() != cmd:
                continue
            if "arg" in f and f["arg"] not in arg:
                continue
            times = f.get("times")
            if times is not None and self.used.get(i, 0) >= times:
                continue
            self.used[i] = self.used.get(i, 0) + 1
            return f
        return None
