#!/usr/bin/env python3
"""Writes the seed scripts of fuzz_link to corpus/fuzz_link/.

Each seed is the script the fuzz target's USB library reads, in the order the link makes
its calls; the helpers below follow that order, one per call."""

import pathlib
import struct

OK = 0x00
FAILED = 0xE0  # any result byte from 0xE0 up is a failing status
SEARCH_FIRST = 0xA5
NO_SEARCH = 0x00  # then the next byte is the index to open
SERIAL = b"2023"


def word(value):
    return struct.pack(">I", value & 0xFFFFFFFF)


def device_count(count, result=OK):
    return bytes([count, result])


def product_string(text, result=OK):
    # Each character is either the serial's own (an even selector) or the next byte.
    script = bytes([len(text), 0x00])
    for i, char in enumerate(text):
        script += bytes([0x00]) if i < len(SERIAL) and SERIAL[i] == char else bytes([0x01, char])
    return script + bytes([result])


def open_device(handle, result=OK):
    return bytes([handle, result])


def transfer(call_result=OK):
    """timeouts() (two words and a result), setTimeouts, the call, setTimeouts again."""
    return word(0) + word(0) + bytes([OK, OK]) + call_result + bytes([OK])


def rx_query(took_ms, waiting, result=OK):
    return word(took_ms) + (bytes([0x80, waiting]) if waiting else bytes([0x00])) + bytes([0x00, result])


def read_reply(reply):
    return bytes([len(reply)]) + reply + bytes([0x00, OK])


def transaction(request, minimum, queries, reply=None, write_result=OK):
    script = bytes([len(request) - 1]) + request + bytes([minimum])
    script += bytes([OK])  # flush
    script += transfer(bytes([write_result]))
    if write_result != OK:
        return script
    for query in queries:
        script += query
    if reply is not None:
        script += transfer(read_reply(reply))
    return script


def close_device(result=OK):
    return bytes([result])


def seeds():
    register_write = bytes([0x10, 0x04, 0xE0, 0x05, 0x01])
    accepted = bytes([0xE0, 0x00])
    status_read = bytes([0x11, 0x2A, 0xE1])
    status_reply = bytes([0xE1]) + bytes(range(41))
    yield "accepted.bin", (
        word(1000)
        + bytes([SEARCH_FIRST])
        + device_count(2)
        + product_string(b"1999")
        + product_string(SERIAL)
        + open_device(1)
        + bytes([1])
        + transaction(register_write, len(accepted), [rx_query(0, 0), rx_query(2, 3)], accepted)
        + close_device()
    )
    yield "rx_fail.bin", (
        word(5)
        + bytes([NO_SEARCH, 0])
        + open_device(7)
        + bytes([1])
        + transaction(status_read, 42, [rx_query(1, 0, FAILED)])
        + close_device()
    )
    # From 4 s before the tick count wraps: a silent box, whose wait ends with the first
    # query past 4000 ms, then a full status reply; the close fails.
    yield "wrap.bin", (
        word(0xFFFFF000)
        + bytes([NO_SEARCH, 0])
        + open_device(7)
        + bytes([2])
        + transaction(status_read, 42, [rx_query(3000, 0), rx_query(3000, 0)])
        + transaction(status_read, 42, [rx_query(10, 42)], status_reply)
        + close_device(FAILED)
    )
    yield "write_fails.bin", (
        word(0)
        + bytes([NO_SEARCH, 0])
        + open_device(3)
        + bytes([1])
        + transaction(status_read, 42, [], write_result=FAILED)
        + close_device()
    )
    yield "not_found.bin", word(0) + bytes([SEARCH_FIRST]) + device_count(1) + product_string(b"20230") + bytes([0x00]) + open_device(0, FAILED)


def main():
    corpus = pathlib.Path(__file__).resolve().parent / "corpus" / "fuzz_link"
    corpus.mkdir(parents=True, exist_ok=True)
    for name, script in seeds():
        (corpus / name).write_bytes(script)


if __name__ == "__main__":
    main()
