#!/usr/bin/env bash
# Makes N (default 1000) small JPEGs in DIR for the benchmark, each with tag
# values of its own, all derived from the photo's number in its file name:
# one cjpeg base, N copies, then a few exiftool runs over the whole set (not
# one per photo). Every tenth photo has no lens and no GPS tags, so that
# empty replies are part of the mix. DIR/names/00, 01, ... hold hard links
# to the N photos, at least 10,000 names in all: distinct files to a module
# that keys what it keeps by name, without 10,000 copies on disk. DIR/tree
# holds links to 0.9 N of them in 6 folders (a root and sub-folders, some
# nested) with a few text files among them, for a search through a tree;
# DIR/rename links to N/4 of them (at least 20), a folder for a renaming
# tool. Skipped when DIR was already made by this same script with the same N.
set -eu
dir=${1:?usage: make_bench_photos.sh DIR [N]}
count=${2:-1000}
stamp="$dir/.complete"
script_hash="$(sha1sum "$0" | cut -c1-12)-$count"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$script_hash" ]; then
  echo "photos: $count in $dir (cached)"
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

# A 64x48 colour gradient as a baseline JPEG.
perl -e 'print "P6\n64 48\n255\n";
  for $y (0..47) { for $x (0..63) { print pack("C3", $x*4, $y*5, ($x+$y)*2) } }' > base.ppm
cjpeg -quality 85 base.ppm > base.jpg
rm base.ppm
for i in $(seq -f '%04g' 1 "$count"); do cp base.jpg "photo_$i.jpg"; done
rm base.jpg

et() { exiftool -q -q -overwrite_original -m "$@"; }

# The photo's number, for the per-file values below.
n='FileName;s/\D//g;$_+=0'
et '-Make<Maker ${FileName;s/\D//g;$_=$_%7}' \
   '-Model<Model ${FileName;s/\D//g}' \
   '-LensModel<Lens ${FileName;s/\D//g;$_=10+$_%90}mm f/2.8' \
   '-DateTimeOriginal<${FileName;s/\D//g;$_=sprintf("20%02d:%02d:%02d %02d:%02d:%02d",10+$_%15,1+$_%12,1+$_%28,$_%24,$_%60,(7*$_)%60)}' \
   "-ISO<\${$n;\$_=100+\$_}" \
   "-FNumber<\${$n;\$_=sprintf('%.1f',1.4+(\$_%20)*0.7)}" \
   "-ExposureTime<\${$n;\$_='1/'.(30+\$_*4)}" \
   "-FocalLength<\${$n;\$_=12+\$_%300}" \
   "-GPSLatitude<\${$n;\$_=sprintf('%.6f',(\$_%170)-85+\$_/10000)}" \
   "-GPSLatitudeRef<\${$n;\$_=((\$_%170)-85+\$_/10000)<0?'S':'N'}" \
   "-GPSLongitude<\${$n;\$_=sprintf('%.6f',(\$_%350)-175+\$_/10000)}" \
   "-GPSLongitudeRef<\${$n;\$_=((\$_%350)-175+\$_/10000)<0?'W':'E'}" \
   -Artist=Bench -ext jpg .
# Every tenth photo: no lens and no position.
et -LensModel= '-GPS:all=' photo_*0.jpg

made=$(ls photo_*.jpg | wc -l)
if [ "$made" -ne "$count" ]; then echo "made $made photos, not $count" >&2; exit 1; fi

# More names for the same photos: enough folders of links for 10,000 names.
folders=$(( (10000 + count - 1) / count ))
for k in $(seq -f '%02g' 0 $((folders - 1))); do
  mkdir -p "names/$k"
  ln photo_*.jpg "names/$k/"
done

# A tree: the first 0.9 N photos in blocks over 6 folders, and text files.
tree_folders=(tree tree/2019 tree/2019/spring tree/2019/summer tree/2020 tree/2020/trip)
mkdir -p "${tree_folders[@]}"
in_tree=$((count * 9 / 10))
for i in $(seq 1 "$in_tree"); do
  ln "$(printf 'photo_%04d.jpg' "$i")" "${tree_folders[$(( (i - 1) * 6 / in_tree ))]}/"
done
for t in tree/notes.txt tree/2019/index.txt tree/2020/trip/route.txt; do
  echo "not a photo: $t" > "$t"
done

# A folder to rename: the first N/4 photos, at least 20.
in_rename=$((count / 4 < 20 ? 20 : count / 4))
[ "$in_rename" -le "$count" ] || in_rename=$count
mkdir rename
for i in $(seq 1 "$in_rename"); do ln "$(printf 'photo_%04d.jpg' "$i")" rename/; done

echo "$script_hash" > "$stamp"
echo "photos: $count made in $dir, and $((folders * count)) more names in $dir/names;"
echo "  $in_tree in $dir/tree (6 folders), $in_rename in $dir/rename"
