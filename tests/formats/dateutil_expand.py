#!/usr/bin/python3
"""Expands the events of an iCalendar file with python-dateutil.

Prints one line per VEVENT: its UID, then the local dates (YYYY-MM-DD) of its
occurrences up to 2031-12-31, from DTSTART, RRULE, RDATE and EXDATE. Exits 2
when the file cannot be read as iCalendar.
"""
import datetime
import sys

from dateutil import rrule

LAST = datetime.datetime(2031, 12, 31, 23, 59, 59)


def unfold(text):
    lines = []
    for raw in text.split("\r\n"):
        if raw.startswith(" ") and lines:
            lines[-1] += raw[1:]
        elif raw:
            lines.append(raw)
    return lines


def parse_when(value, params):
    if "VALUE=DATE" in params:
        return datetime.datetime.strptime(value, "%Y%m%d")
    # A single timed event is in UTC; its day is not compared.
    return datetime.datetime.strptime(value.rstrip("Z"), "%Y%m%dT%H%M%S")


def expand(event):
    name, params, value = event["DTSTART"][0]
    start = parse_when(value, params)
    days = rrule.rruleset()
    if "RRULE" in event:
        days.rrule(rrule.rrulestr(event["RRULE"][0][2], dtstart=start))
    else:
        days.rdate(start)
    for _, params, value in event.get("RDATE", []):
        for item in value.split(","):
            days.rdate(parse_when(item, params))
    for _, params, value in event.get("EXDATE", []):
        for item in value.split(","):
            days.exdate(parse_when(item, params))
    out = []
    for when in days:
        if when > LAST:
            break
        out.append(when.strftime("%Y-%m-%d"))
    return out


def main():
    with open(sys.argv[1], "rb") as f:
        text = f.read().decode("utf-8")
    event = None
    for line in unfold(text):
        head, _, value = line.partition(":")
        name, _, params = head.partition(";")
        if line == "BEGIN:VEVENT":
            event = {}
        elif line == "END:VEVENT":
            uid = event.get("UID", [("", "", "")])[0][2]
            print(uid, " ".join(expand(event)))
            event = None
        elif event is not None:
            event.setdefault(name, []).append((name, params, value))


if __name__ == "__main__":
    try:
        main()
    except Exception as e:  # noqa: BLE001 - any failure is a failed check
        print("error:", e)
        sys.exit(2)
