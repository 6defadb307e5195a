#!/usr/bin/env python3
"""Writes the EDID files of other tools that tests/core/tst_edid_formats.cpp reads back.

Each file holds one EDID of tests/data/edid in the form a tool saves it: edid-decode writes
its own three forms (its decoded output with the hex dump, -o carray, -o xml); the others
are written here from the layouts of xrandr, the X server logs, the table and dump tools and
Windows. Run it from anywhere; it rewrites the files next to it.
"""

import base64
import pathlib
import subprocess

HERE = pathlib.Path(__file__).resolve().parent
EDIDS = HERE.parent


def edid(name):
    return (EDIDS / name).read_bytes()


def rows(data, width=16):
    return [data[i:i + width] for i in range(0, len(data), width)]


def write(name, text, encoding="ascii"):
    (HERE / name).write_bytes(text.encode(encoding) if isinstance(text, str) else text)


def edid_decode(name, *options):
    return subprocess.run(["edid-decode", *options, str(EDIDS / name), *(["-"] if options else [])],
                          check=True, capture_output=True).stdout


# edid-decode: its decoded output (the hex dump under "edid-decode (hex):"), its C array and
# its QuantumData XML (three blocks).
write("lg-oled-c9.edid-decode.txt", edid_decode("lg-oled-c9-hdmi.bin"))
write("samsung-q800t.carray.c", edid_decode("samsung-q800t-hdmi2.1.bin", "-o", "carray"))
write("acer-xv273k-dp1.quantumdata.xml", edid_decode("acer-xv273k-dp1.bin", "-o", "xml"))
write("lg-oled-c9.edid-decode-o-hex.txt", edid_decode("lg-oled-c9-hdmi.bin", "-o", "hex"))

# xrandr --verbose with two outputs: the first EDID is read (tab-indented, as xrandr writes).
def xrandr_output(name, connector, data):
    lines = [f"{name} connected {connector} (normal left inverted right x axis y axis) 1600mm x 900mm",
             "\tIdentifier: 0x42", "\tTimestamp:  123456", "\tSubpixel:   unknown",
             "\tGamma:      1.0:1.0:1.0", "\tBrightness: 1.0", "\tClones:    ", "\tCRTC:       0",
             "\tCRTCs:      0 1 2", "\tTransform:  1.000000 0.000000 0.000000",
             "\t            0.000000 1.000000 0.000000", "\t            0.000000 0.000000 1.000000",
             "\t           filter: ", "\tEDID: "]
    lines += ["\t\t" + row.hex() for row in rows(data)]
    lines += ["\tnon-desktop: 0 ", "\t\tsupported: 0, 1", "\tlink-status: Good ",
              "\t\tsupported: Good, Bad", "  3840x2160 (0x48) 594.000MHz +HSync +VSync *current +preferred",
              "        h: width  3840 start 4016 end 4104 total 4400 skew    0 clock 135.00KHz",
              "        v: height 2160 start 2168 end 2178 total 2250           clock  60.00Hz"]
    return lines


write("lg-34wk95uw.xrandr-verbose.txt", "\n".join(
    ["Screen 0: minimum 320 x 200, current 3840 x 2160, maximum 16384 x 16384"]
    + xrandr_output("DP-1", "primary 3840x2160+0+0 (0x48) normal", edid("lg-34wk95uw-thunderbolt-dp1-tile0.bin"))
    + xrandr_output("HDMI-1", "3840x2160+3840+0 (0x49) normal", edid("lg-oled-c9-hdmi.bin"))
    + ["DP-2 disconnected (normal left inverted right x axis y axis)"]) + "\n")

# An older xrandr: EDID_DATA, indented with spaces.
write("sony-gdmf520.xrandr-edid-data.txt", "\n".join(
    ["VGA-0 connected 1600x1200+0+0 (normal left inverted right x axis y axis) 400mm x 300mm",
     "        SignalFormat:   VGA", "        EDID_DATA:"]
    + ["                " + row.hex() for row in rows(edid("sony-gdmf520-vga.bin"))]
    + ["   1600x1200      85.0*+   75.0     60.0  "]) + "\n")

# Xorg.0.log of the modesetting driver.
xorg = ["[     4.509] (II) modeset(0): Output HDMI-1 connected",
        "[     4.510] (II) modeset(0): EDID for output HDMI-1",
        "[     4.513] (II) modeset(0): Manufacturer: MEI  Model: a14f  Serial#: 16843009",
        "[     4.513] (II) modeset(0): Year: 2019  Week: 1",
        "[     4.514] (II) modeset(0): EDID (in hex):"]
xorg += ["[     4.514] (II) modeset(0): \t" + row.hex() for row in rows(edid("panasonic-tx65gxr900-hdmi.bin"))]
xorg += ["[     4.514] (II) modeset(0): Printing probed modes for output HDMI-1",
         "[     4.514] (II) modeset(0): Modeline \"3840x2160\"x60.0  594.00  3840 4016 4104 4400  2160 2168 2178 2250 +hsync +vsync (135.0 kHz EP)"]
write("panasonic-tx65gxr900.Xorg.0.log", "\n".join(xorg) + "\n")

# NVIDIA's X log: 8 bytes, two blanks, 8 bytes.
nvidia = ["[    14.561] (--) NVIDIA(GPU-0): DELL 3007WFP (DFP-0): connected",
          "[    14.562] (--) NVIDIA(GPU-0): --- EDID for DELL 3007WFP (DFP-0) ---",
          "[    14.562] (--) NVIDIA(GPU-0): EDID Version                 : 1.3",
          "[    14.563] (--) NVIDIA(GPU-0): ",
          "[    14.563] (--) NVIDIA(GPU-0): Raw EDID bytes:",
          "[    14.563] (--) NVIDIA(GPU-0): "]
for row in rows(edid("dell-3007wfp-dvi.bin")):
    nvidia.append("[    14.563] (--) NVIDIA(GPU-0):   " + " ".join(f"{b:02x}" for b in row[:8])
                  + "  " + " ".join(f"{b:02x}" for b in row[8:]))
nvidia += ["[    14.563] (--) NVIDIA(GPU-0): ",
           "[    14.563] (--) NVIDIA(GPU-0): --- End of EDID for DELL 3007WFP (DFP-0) ---",
           "[    14.563] (--) NVIDIA(GPU-0): "]
write("dell-3007wfp.nvidia-Xorg.0.log", "\n".join(nvidia) + "\n")

# A table after "EDID BYTES:", with its column header and rule.
table = ["EDID BYTES:", "0x   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
         "    ------------------------------------------------"]
table += [f"{16 * i:02X} | " + " ".join(f"{b:02X}" for b in row)
          for i, row in enumerate(rows(edid("sony-x900f-hdmi.bin")))]
write("sony-x900f.edid-bytes.dat", "\r\n".join(table) + "\r\n")

# A table whose one-digit labels start again in each block, a title above each block.
data = edid("linuxhw-optoma-uhd-C2A485A0B63E.bin")
labelled = []
for block in range(len(data) // 128):
    labelled += [f"Block {block}:"]
    labelled += [f"{i} | " + " ".join(f"{b:02X}" for b in row)
                 for i, row in enumerate(rows(data[128 * block:128 * (block + 1)]))]
    labelled += [""]
write("optoma-uhd.labelled-table.txt", "\n".join(labelled))

# A dump with a dash after the eighth byte and an ASCII column.
def ascii_of(row):
    return "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in row)


dump = [" ".join(f"{b:02X}" for b in row[:8]) + "-" + " ".join(f"{b:02X}" for b in row[8:]) + "    " + ascii_of(row)
        for row in rows(edid("apple-cinemahd-30-dvi.bin"))]
write("apple-cinemahd-30.ascii-dump.txt", "\r\n".join(dump) + "\r\n")

# A monitor .inf with an EDID_OVERRIDE value per block (the layout of the override INFs
# Windows documents), with the comment block of hex some tools write above it.
data = edid("lg-oled55b6v-hdmi-denon-avr-x2300w-hdmi.bin")
inf = ["; Monitor INF with an EDID override", ";"]
inf += [";" + " ".join(f"{b:02X}" for b in row) for row in rows(data)]
inf += ["", "[Version]", "Signature=\"$WINDOWS NT$\"", "Class=Monitor",
        "ClassGUID={4d36e96e-e325-11ce-bfc1-08002be10318}", "Provider=%Provider%",
        "DriverVer=04/12/2017,1.0.0.0", "", "[Manufacturer]", "%Provider%=Monitors,NTamd64", "",
        "[Monitors.NTamd64]", "%Monitor%=Install,MONITOR\\DON004C", "", "[Install]", "",
        "[Install.HW]", "AddReg=EdidOverride", "", "[EdidOverride]"]
for block in range(len(data) // 128):
    values = [f"0x{b:02X}" for b in data[128 * block:128 * (block + 1)]]
    lines = [",".join(values[i:i + 16]) for i in range(0, 128, 16)]
    inf.append(f"HKR,EDID_OVERRIDE,\"{block}\",0x01," + ",\\\n    ".join(lines))
inf += ["", "[Strings]", "Provider=\"Home cinema\"", "Monitor=\"DENON-AVR (EDID override)\""]
write("denon-avr-x2300w.edid-override.inf", "\r\n".join("\n".join(inf).split("\n")) + "\r\n")

# An .inf that carries the EDID only in its comment block.
data = edid("acer-xv273k-hdmi1.bin")
comment = ["; EDID of XV273K, read by a monitor tool", ";"]
comment += [";" + " ".join(f"{b:02X}" for b in row) for row in rows(data)]
comment += [";", "[Version]", "Signature=\"$WINDOWS NT$\"", "Class=Monitor"]
write("acer-xv273k-hdmi1.comment.inf", "\r\n".join(comment) + "\r\n")

# regedit's export: UTF-16 with its byte order mark, CR LF, lines of at most 80 columns.
data = edid("linuxhw-benq-pd2700u-C457DADB2E45.bin")
hexes = [f"{b:02x}" for b in data]
first = "\"EDID\"=hex:"
lines, line = [], first
for i, h in enumerate(hexes):
    piece = h + ("," if i + 1 < len(hexes) else "")
    if len(line) + len(piece) > 77 and i + 1 < len(hexes):
        lines.append(line + "\\")
        line = "  "
    line += piece
lines.append(line)
reg = ["Windows Registry Editor Version 5.00", "",
       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\BNQ802E\\5&1a2b3c4d&0&UID4352\\Device Parameters]"]
reg += lines + ["\"BAD_EDID\"=dword:00000000", ""]
write("benq-pd2700u.reg", "\ufeff" + "\r\n".join(reg) + "\r\n", "utf-16-le")

# Bare hex: one run of lower-case digits, 0x with commas, colons, and base64.
write("dell-2408wfp.continuous-hex.txt", edid("dell-2408wfp-dp.bin").hex() + "\n")
data = edid("samsung-qp85a-8k-hdmi4.bin")
write("samsung-qp85a.0x-commas.txt", ",\n".join(", ".join(f"0x{b:02X}" for b in row) for row in rows(data, 12)) + "\n")
write("lg-oled-c9.colon-hex.txt", ":".join(f"{b:02x}" for b in edid("lg-oled-c9-hdmi.bin")))
write("samsung-q800t.base64.txt", "\n".join(base64.encodebytes(edid("samsung-q800t-hdmi2.1.bin")).decode().split()) + "\n")
