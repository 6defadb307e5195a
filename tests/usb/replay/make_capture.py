#!/usr/bin/env python3
"""Writes the usbmon capture that the replay test plays to libusb.

The capture is what usbmon shows (link type DLT_USB_LINUX_MMAPPED, one 64-byte header
per URB event) while the utility finds the box with serial "2023" on bus 1, address 3,
opens it, carries one register block read and closes it, and then reads the box's
product string once more. umockdev replays it strictly in order: every request the
backend makes has to be the next one in here, byte for byte, or the replay stalls and
the test fails.

Usage: make_capture.py OUTPUT.pcap
"""

import struct
import sys

BUS = 1
ADDRESS = 3

# URB transfer types and event kinds as usbmon records them.
CONTROL = 2
BULK = 3
IN = 0x80
EINPROGRESS = -115  # the status of every submission
ENOENT = -2  # a bulk read the host gave up on when its time-out ran out

LINKTYPE_USB_LINUX_MMAPPED = 220
POLL_MS = 10  # the backend's short bulk reads

# The box's side: its strings and the reply to the block read of the version register.
LANGUAGES = bytes([0x04, 0x03, 0x09, 0x04])  # US English only
SERIAL = "2023"
PRODUCT = "VELTRIKA USB"
VERSION_REQUEST = bytes([0x11, 0x08, 0xE0, 0x07])
VERSION_REPLY = bytes([0xE0, 0x00, 0x01, 0x08, 0x02, 0x03, 0x00, 0x00])

# The vendor requests: type 0x40, request 0x02, no data stage.
OPEN, CLOSE, FLUSH = 0x0002, 0x0004, 0x0001


class Capture:
    def __init__(self):
        self.records = []
        self.microseconds = 1_700_000_000 * 1_000_000
        self.urb = 0xFFFF8880_12340000

    def wait(self, ms):
        self.microseconds += ms * 1000

    def event(self, urb, kind, transfer, endpoint, setup, status, length, data):
        seconds, micros = divmod(self.microseconds, 1_000_000)
        if kind == "S" and endpoint & IN:
            data_flag = ord("<")  # a submitted read carries no data
        elif kind == "C" and not endpoint & IN:
            data_flag = ord(">")  # nor does a finished write
        else:
            data_flag = 0 if data else ord("=")
        header = struct.pack(
            "<QBBBBHbbqiiII8siiII",
            urb,
            ord(kind),
            transfer,
            endpoint,
            ADDRESS,
            BUS,
            0 if setup is not None else ord("-"),
            data_flag,
            seconds,
            micros,
            status,
            length,
            len(data),
            setup if setup is not None else bytes(8),
            0,
            0,
            0,
            0,
        )
        assert len(header) == 64
        self.records.append((seconds, micros, header + data))
        self.wait(1)

    def next_urb(self):
        self.urb += 0x40
        return self.urb

    def control(self, request_type, request, value, index, length, reply=b""):
        urb = self.next_urb()
        endpoint = IN if request_type & IN else 0
        setup = struct.pack("<BBHHH", request_type, request, value, index, length)
        self.event(urb, "S", CONTROL, endpoint, setup, EINPROGRESS, length, b"")
        self.event(urb, "C", CONTROL, endpoint, None, 0, len(reply), reply)

    def vendor_request(self, value):
        self.control(0x40, 0x02, value, 0, 0)

    def string(self, index, text):
        # libusb 1.0.26 asks for the language list in 4 bytes, then for the string in 255.
        self.control(0x80, 0x06, 0x0300, 0, 4, LANGUAGES)
        encoded = text.encode("utf-16-le")
        self.control(0x80, 0x06, 0x0300 | index, 0x0409, 255, bytes([2 + len(encoded), 0x03]) + encoded)

    def clear_halt(self, endpoint):
        # The kernel's own request for USBDEVFS_CLEAR_HALT; the replay lets it pass.
        self.control(0x02, 0x01, 0x0000, endpoint, 0)

    def bulk_out(self, endpoint, data):
        urb = self.next_urb()
        self.event(urb, "S", BULK, endpoint, None, EINPROGRESS, len(data), data)
        self.event(urb, "C", BULK, endpoint, None, 0, len(data), b"")

    def bulk_in(self, endpoint, data):
        urb = self.next_urb()
        self.event(urb, "S", BULK, endpoint, None, EINPROGRESS, 64, b"")
        if data:
            self.event(urb, "C", BULK, endpoint, None, 0, len(data), data)
        else:
            self.wait(POLL_MS)
            self.event(urb, "C", BULK, endpoint, None, ENOENT, 0, b"")

    def write(self, path):
        with open(path, "wb") as out:
            out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, LINKTYPE_USB_LINUX_MMAPPED))
            for seconds, micros, packet in self.records:
                out.write(struct.pack("<IIII", seconds, micros, len(packet), len(packet)))
                out.write(packet)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    capture = Capture()
    # Finding the box: its serial number string (index 3).
    capture.string(3, SERIAL)
    # Opening: clear both halts, the open request, one empty read of stale input.
    capture.clear_halt(0x81)
    capture.clear_halt(0x01)
    capture.vendor_request(OPEN)
    capture.bulk_in(0x81, b"")
    # One link transaction: flush, the request, one empty look at the queue, the reply.
    capture.vendor_request(FLUSH)
    capture.bulk_out(0x01, VERSION_REQUEST)
    capture.bulk_in(0x81, b"")
    capture.wait(2)
    capture.bulk_in(0x81, VERSION_REPLY)
    # Closing.
    capture.vendor_request(CLOSE)
    # The product string (index 2) after the close: it can only be read once the close went out.
    capture.string(2, PRODUCT)
    capture.write(sys.argv[1])


if __name__ == "__main__":
    main()
