#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/.

Run from anywhere; the files it writes are committed. Layouts:
  fuzz_config  - a whole Config.txt.
  fuzz_reply   - [flags][field type][maxLength][marker number][unit length n][n unit bytes]
                 [split count k][k split bytes][received bytes]
  fuzz_convert - [flags][unit index][units length n][n units bytes][text]
                 flags bit 0: text is UTF-16LE (else each byte is one unit).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ------------------------------------------------------------------ config
FULL = (
    "4\tF\t0\tC:\\PHOTOS;D:\\pics\n"
    "C:\\Tools\\exiftool.exe\tthe tool\n"
    "ignored line\n"
    "1\tModel\t0\tft_string\t0\t1\tCamera model\n"
    "1\tISO\t0\tFT_NUMERIC_32\t0\t-1\tISO speed\tDefault|#\n"
    "0\tLens\t0\tft_string\t0\t1\tdisabled\n"
    "1\tDateTimeOriginal<x\t0\tft_datetime\t0\t-1\tTaken\t|Default|#\n"
    "1\tFNumber\t0\tft_numeric_floating\t0\t1\tAperture\t#|a\tb\n"
)
write("fuzz_config", "full_tab", FULL)
write("fuzz_config", "full_crlf", FULL.replace("\n", "\r\n"))
write("fuzz_config", "full_semicolon",
      "3 F;1 c:\\a\n/usr/bin/exiftool\n\n"
      "1;Make;0;ft_string;0;1;Make of camera;\n"
      "1;=bad;0;ft_string;0;1;skipped\n"
      "1;Artist;x;ft_fulltext; 7;-1;Who;Default;with;separators\r\n"
      "1;Six;0;ft_string;0;1\n")
write("fuzz_config", "simple",
      "5 S\t0\n exiftool\nx\n"
      "11 Model\n8\tMake=Camera\n3:FNumber<1\n4x\n\n7\n")
write("fuzz_config", "simple_nosep", "2 S\t1 \n\n\n11Model\n-5 ISO\n")
write("fuzz_config", "byte26",
      "3\tF\t0\n\x1a"
      "tool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "byte26_mid",
      "3\tF\t0\ntool\nx\n1\tA\t0\tft_string\t0\t1\tA\n\x1a"
      "1\tB\t0\tft_string\t0\t1\tB\n")
write("fuzz_config", "header_newline_sep", "3 F\n tool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "header_short", "3 F")
write("fuzz_config", "header_count_big",
      "99999999999 S\t0 " + ";".join("p%d" % i for i in range(120)) + "\nt\nx\n"
      + "".join("%d N%d\n" % (i % 12, i) for i in range(40)))
write("fuzz_config", "header_negative", "-3\tF\t1\tC:\\\ntool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "header_invert_glued", "2\tF\t1;X\ntool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "count_limit",
      "2\tF\t0\ntool\nx\n" + "".join("1\tT%d\t0\tft_string\t0\t1\tN%d\n" % (i, i) for i in range(5)))
write("fuzz_config", "long_tool_path",
      "2\tF\t0\n" + "C:\\" + "d" * 300 + "\\exiftool.exe\nx\n"
      "1\tA\t0\tft_string\t0\t1\tA\n1\tB\t0\tft_string\t0\t1\tB\n")
write("fuzz_config", "long_field_line",
      "2\tF\t0\ntool\nx\n1\tLong\t0\tft_string\t0\t1\t" + "n" * 2100 + "\tu|v\n"
      "1\tShort\t0\tft_string\t0\t1\tS\n")
write("fuzz_config", "long_header", "3\tF\t0 " + "P" * 2100 + "\ntool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "high_bytes",
      "2\tF\t0 C:\\\xe9t\xe9;\xff\ntool \xe4\nx\n"
      "1\tTitle\t0\tft_string\t0\t1\tTitel \xfc\xdf\t\xb0C|\xb5m\n"
      "1\tRating\t0\tft_numeric_64\t0\t1\t\x80\x81\n")
write("fuzz_config", "lone_cr", "2\tF\t0\rX\ntool\r\nx\r1\tA\t0\tft_string\t0\t1\tA\r\n1\tB\t0\tft_string\t0\t1\tB\tu\r")
write("fuzz_config", "zero_bytes", "2\tF\t0\ntool\0junk\nx\n1\tA\0\t0\tft_string\t0\t1\tA\n1\tB\t0\tft_string\t0\t1\tB\0\tu\n")
write("fuzz_config", "unknown_syntax", "2 Q\t0\ntool\nx\n1\tA\t0\tft_string\t0\t1\tA\n")
write("fuzz_config", "types",
      "14\tF\t0\nt\nx\n" + "".join(
          "1\tT%d\t%d\t%s\t0\t%d\tN\n" % (i, i, n, 1 - 2 * (i % 2)) for i, n in enumerate([
              "ft_nomorefields", "ft_numeric_32", "ft_numeric_64", "ft_numeric_floating",
              "ft_date", "ft_time", "ft_boolean", "ft_multiplechoice", "Ft_String",
              "ft_fulltext", "ft_datetime", "ft_comparecontent", " ft_string", "ft_wide"])))

# ------------------------------------------------------------------- reply
def reply(flags, ftype, maxlen, unit, splits, received):
    """The request's marker number is 1001 (byte 1); "{R}" in `received`
    stands for its marker, "{S}" for the one of the request before."""
    unit = unit.encode("latin-1") if isinstance(unit, str) else unit
    if isinstance(received, str):
        received = received.replace("{R}", "{ready1001}").replace("{S}", "{ready1000}")
        received = received.encode("utf-8")
    else:
        received = received.replace(b"{R}", b"{ready1001}")
    return (bytes([flags, ftype, maxlen, 1, len(unit)]) + unit + bytes([len(splits)])
            + bytes(splits) + received)

# field type byte: index into the table in fuzz_reply.cpp (0..8) or raw.
T32, T64, TDBL, TDT, TSTR, TWIDE, TOTHER = 1, 2, 3, 6, 5, 7, 8
write("fuzz_reply", "int_lf", reply(0, T32, 20, "", [], "123\n{R}\n"))
write("fuzz_reply", "int_crlf", reply(1, T32, 20, "", [], "123\r\n{R}\r\n"))
write("fuzz_reply", "split_marker", reply(1, TWIDE, 40, "", [100, 150], "value\r\n{R}\r\n"))
write("fuzz_reply", "marker_alone", reply(0, TWIDE, 40, "", [], "{R}\n"))
write("fuzz_reply", "marker_own_read", reply(0, TDBL, 40, "#", [128], "12.5\n{R}\n"))
write("fuzz_reply", "marker_mid_line", reply(0, TWIDE, 40, "", [], "x{R}\n"))
write("fuzz_reply", "marker_lf_only_crlf", reply(1, TWIDE, 40, "", [], "v\r\n{R}\n"))
write("fuzz_reply", "two_lines", reply(0, TWIDE, 60, "Default", [60], "line one\nline two\n{R}\n"))
write("fuzz_reply", "truncate", reply(0, TWIDE, 9, "", [], "abcdefghijklmnop\n{R}\n"))
write("fuzz_reply", "maxlen_small", reply(0, TSTR, 4, "default", [], "abc\n{R}\n"))
write("fuzz_reply", "datetime", reply(0, TDT, 20, "", [], "2021:06:15 14:30:00+02:00\n{R}\n"))
write("fuzz_reply", "datetime_hash", reply(0, TDT, 20, "#", [], "2021:06:15 14:30:00\n{R}\n"))
write("fuzz_reply", "int64_unit", reply(0, T64, 2, "mm", [], "-9223372036854775809\n{R}\n"))
write("fuzz_reply", "other_hash", reply(0, TOTHER, 2, "#", [], "7\n{R}\n"))
write("fuzz_reply", "utf8", reply(0, TWIDE, 30, "", [5], "\xe9t\xe9 \U0001F600\n{R}\n"))
write("fuzz_reply", "bad_utf8", reply(0, TWIDE, 30, "", [], b"\xc3\x28\xf0\x9f\x98\n{R}\n"))
write("fuzz_reply", "no_marker", reply(0, TWIDE, 30, "", [1, 2, 3], "no marker here\n"))
write("fuzz_reply", "empty_reply", reply(0, T32, 30, "", [], "\n{R}\n"))
write("fuzz_reply", "cr_only", reply(1, T32, 30, "", [], "\r\n{R}\r\n"))
write("fuzz_reply", "max_int", reply(0, TWIDE, 255, "", [], "x" * 300 + "\n{R}\n"))
write("fuzz_reply", "unnumbered_value", reply(0, TWIDE, 40, "", [8], "{ready}\n{R}\n"))
write("fuzz_reply", "stale_first", reply(1, TWIDE, 60, "", [20, 40], "old\r\n{S}\r\nnew\r\n{R}\r\n"))
write("fuzz_reply", "marker_split_number", reply(0, T32, 40, "", [150], "7\n{R}\n"))
write("fuzz_reply", "batch_lines", reply(0, TWIDE, 40, "", [], "-Model=X\n-ISO=5\n-ISO#=5\n{R}\n"))
write("fuzz_reply", "batch_crlf_shortcut",
      reply(1, TWIDE, 40, "", [], "-MODEL=Y\r\n-CreateDate=1\r\n-model=Y\r\n{R}\r\n"))

# ----------------------------------------------------------------- convert
def convert(index, units, text, utf16=False):
    units = units.encode("latin-1") if isinstance(units, str) else units
    body = text.encode("utf-16-le") if utf16 else text.encode("latin-1")
    return bytes([1 if utf16 else 0, index & 0xFF, len(units)]) + units + body

write("fuzz_convert", "units_default", convert(0, "Default|#|mm", "42"))
write("fuzz_convert", "units_past_end", convert(7, "Default|#|mm", "-42abc"))
write("fuzz_convert", "units_negative", convert(-1, "Default|#|mm", "  -42 letters"))
write("fuzz_convert", "units_empty_entry", convert(1, "a||c", "1/200"))
write("fuzz_convert", "units_trailing_bar", convert(9, "a|b|", "0.005"))
write("fuzz_convert", "units_zero", convert(2, "a\0|b|c", "4294967296"))
write("fuzz_convert", "units_min", convert(-128, "x|y", "-" + "9" * 20))
write("fuzz_convert", "units_max", convert(127, "x|y", "9223372036854775807"))
write("fuzz_convert", "int64_min", convert(0, "", "-9223372036854775808"))
write("fuzz_convert", "int32_limits", convert(0, "", "2147483648"))
write("fuzz_convert", "int32_min", convert(0, "", "-2147483649"))
write("fuzz_convert", "double_inf", convert(0, "", "1e999"))
write("fuzz_convert", "double_tiny", convert(0, "", "-4.9e-325"))
write("fuzz_convert", "double_subnormal", convert(0, "", "2.5e-310"))
write("fuzz_convert", "double_hex", convert(0, "", "0x1.fffffffffffffp1023"))
write("fuzz_convert", "double_hex_bare", convert(0, "", "0x.p1"))
write("fuzz_convert", "double_nan", convert(0, "", "-nan(123)"))
write("fuzz_convert", "double_infinity", convert(0, "", "+Infinity"))
write("fuzz_convert", "double_exp", convert(0, "", "12.5E+3x"))
write("fuzz_convert", "double_long", convert(0, "", "0." + "0" * 400 + "1e400"))
write("fuzz_convert", "date_zone_plus", convert(0, "", "2021:06:15 14:30:00+02:00"))
write("fuzz_convert", "date_zone_minus", convert(0, "", "2021:06:15 14:30:00-05:00"))
write("fuzz_convert", "date_zulu", convert(0, "", "2021:06:15 14:30:00Z"))
write("fuzz_convert", "date_subsec", convert(0, "", "2021:06:15 14:30:00.25+01:30"))
write("fuzz_convert", "date_local", convert(0, "", "2021:06:15 14:30:00"))
write("fuzz_convert", "date_local_dst_gap", convert(0, "", "2021:03:28 02:30:00"))
write("fuzz_convert", "date_local_dst_back", convert(0, "", "2021:10:31 02:30:00"))
write("fuzz_convert", "date_only", convert(0, "", "2021:06:15"))
write("fuzz_convert", "date_leap", convert(0, "", "2000:02:29 23:59:59 "))
write("fuzz_convert", "date_first", convert(0, "", "1601:01:01 00:00:00+00:01"))
write("fuzz_convert", "date_last", convert(0, "", "30827:12:31 23:59:59Z"))
write("fuzz_convert", "date_overflow", convert(0, "", "2021:06:15 14:30:00-65536:99999"))
write("fuzz_convert", "date_signs", convert(0, "", " +2021: -0:+15\t\n1:2:3\n"))
write("fuzz_convert", "utf16_digits", convert(0, "", "\uff11\u0661 12\u00a0", utf16=True))
write("fuzz_convert", "utf16_surrogate", b"\x01\x00\x00" + b"\x00\xd8" + "-7".encode("utf-16-le"))
