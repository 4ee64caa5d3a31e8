// Which files the host offers the plugin.
#pragma once

namespace plugin {

// The files the host offers the plugin: photos and camera raw files that
// the tool reads. JPGE, a misspelling of JPEG that earlier versions named
// instead of it, stays for hosts that kept it; the earlier tests keep their
// order, for hosts that compare the string with the one they stored.
inline constexpr char kDetectString[] =
    "EXT=\"JPG\"|EXT=\"JPEG\"|EXT=\"JPGE\"|EXT=\"TIF\"|EXT=\"TIFF\"|EXT=\"NEF\""
    "|EXT=\"CR2\"|EXT=\"CR3\"|EXT=\"ARW\"|EXT=\"DNG\"|EXT=\"ORF\"|EXT=\"RW2\""
    "|EXT=\"PEF\"|EXT=\"RAF\"|EXT=\"HEIC\"|EXT=\"PNG\"";
// Hosts read the detect string into a buffer of 2048 bytes; it must fit
// whole, with its terminating zero.
static_assert(sizeof kDetectString <= 2048, "detect string too long for hosts");

}  // namespace plugin
