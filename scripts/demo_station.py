#!/usr/bin/python3
"""Writes a demo station: a sample server tree and a settings file whose one connection points at it.

usage: demo_station.py ROOT SETTINGS_FILE PORT
Names and texts are Windows-1251 bytes, as the controllers write them.
"""

import datetime
import os
import struct
import sys


def crc16(data):
    reg = 0xFFFF
    for b in data:
        reg ^= b
        for _ in range(8):
            reg = (reg >> 1) ^ 0xA001 if reg & 1 else reg >> 1
    return reg


def cp(text):
    return text.encode("cp1251")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def report(title, obj, line, when):
    lines = [
        title,
        "Объект: %s   Вычислитель/нитка: %s" % (obj, line),
        "Дата: %s" % when,
        "",
        "Параметр                     Значение",
        "Объем при с.у., м3             %8.2f" % (1000 + hash(when) % 500),
        "Давление, МПа                  %8.3f" % 0.612,
        "Температура, C                 %8.2f" % 11.4,
    ]
    return cp("\r\n".join(lines) + "\r\n")


def make_tree(root):
    today = datetime.datetime.now().replace(minute=0, second=0, microsecond=0)
    stations = {"ГРС Северная": ["v0017n1", "v0017n2"], "ГРС Южная": ["v0021n1"]}
    for obj, lines in stations.items():
        o = cp(obj)
        odir = os.path.join(root.encode(), o)
        for line in lines:
            base = os.path.join(odir, line.encode())
            prefix = o + b"-" + line.encode()
            for h in range(72):
                t = today - datetime.timedelta(hours=h)
                name = prefix + b"-chakr-" + t.strftime("%Y.%m.%d-%H").encode() + b".txt"
                write(os.path.join(base, b"chakr", name), report("Часовой краткий отчет", obj, line, t.strftime("%d.%m.%Y %H:00")))
            for d in range(1, 8):
                t = today - datetime.timedelta(days=d)
                for code, title in (("sutkr", "Суточный краткий отчет"), ("sutko", "Суточный коммерческий отчет")):
                    name = prefix + b"-" + code.encode() + b"-" + t.strftime("%Y.%m.%d").encode() + b".txt"
                    write(os.path.join(base, code.encode(), name), report(title, obj, line, t.strftime("%d.%m.%Y")))
            for m in range(1, 4):
                t = (today.replace(day=1) - datetime.timedelta(days=31 * m - 15)).replace(day=1)
                for code, title in (("meskr", "Месячный краткий отчет"), ("mesko", "Месячный коммерческий отчет")):
                    name = prefix + b"-" + code.encode() + b"-" + t.strftime("%Y.%m").encode() + b".txt"
                    write(os.path.join(base, code.encode(), name), report(title, obj, line, t.strftime("%m.%Y")))
            # A report still being written: shorter than 20 bytes.
            t = today + datetime.timedelta(hours=1)
            write(os.path.join(base, b"chakr", prefix + b"-chakr-" + t.strftime("%Y.%m.%d-%H").encode() + b".txt"), b"\r\n")
        alarms = "\r\n".join("%s  Авария: превышение перепада давления, нитка %d" %
                             ((today - datetime.timedelta(hours=5 * i)).strftime("%d.%m.%y %H:%M:%S"), i % 2 + 1)
                             for i in range(12)) + "\r\n"
        write(os.path.join(odir, o + b"-alarm.txt"), cp(alarms))
        line = b"SP: 0.6800 1.0000 0.5000 750.0"
        write(os.path.join(odir, o + b"-gaspar.txt"), b"\r\n\r\n" + line + b" 0x%04x\r\n" % crc16(line))


def make_settings(path, port):
    image = bytearray(4196)
    image[0] = 1  # one connection
    image[1] = 0
    for i in range(10):
        struct.pack_into("<i", image, 2 + 304 * i + 100, 21)
    rec = 2
    for offset, text in ((0, "Демо-станция"), (50, "127.0.0.1"), (104, "op"), (154, "secret")):
        data = cp(text)
        image[rec + offset:rec + offset + len(data)] = data
    struct.pack_into("<i", image, rec + 100, port)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    make_tree(sys.argv[1])
    make_settings(sys.argv[2], int(sys.argv[3]))
