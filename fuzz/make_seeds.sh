#!/usr/bin/env bash
# Writes the fuzz targets' seed corpora into OUTDIR/<target>/: valid
# examples of each format, from the project's own samples and written here.
# Texts are written in UTF-8 and turned into Shift-JIS as the files hold them.
set -euo pipefail
out=${1:?usage: make_seeds.sh OUTDIR}
src=$(cd "$(dirname "$0")/.." && pwd)

seed() {  # seed TARGET NAME: stdin (UTF-8 text) in Shift-JIS
    mkdir -p "$out/$1"
    iconv -f UTF-8 -t CP932 > "$out/$1/$2"
}
raw() {  # raw TARGET NAME: stdin as it is
    mkdir -p "$out/$1"
    cat > "$out/$1/$2"
}
crlf() { sed 's/$/\r/'; }

# ---- problem files
mkdir -p "$out/fuzz_problem"
cp "$src/samples/sample.qzb" "$out/fuzz_problem/sample.qzb"
crlf <<'T' | seed fuzz_problem feedback.qzb
mode test random
~第1章
たし算
/
*コメント
/
1+1
@hint
2 です
@/
@mess
wav chime
@/
/fb
btns 2 1&4
3-1 は？
png pic 10 20 30
/
hbtn 2 あ&お
い は どれ？
/
T
crlf <<'T' | seed fuzz_problem plain.qzb
a;b;c
質問
exec prog.exe arg
mp3 song
/
&説明
jpg x 1 2
/
T
crlf <<'T' | seed fuzz_problem limits.qzb
~t
bmp top 0 2147483647
/
btn 2147483647 0&9
q
png low -2147483648 2147483647 2147483647
@hint
jpg h 2147483647 2147483647
@/
/
T

# ---- answer lines ("line" LF "typed answer")
printf 'りんご;リンゴ;apple\nりんご' | seed fuzz_answer words
printf 'btn 3 あ&こ\nう' | seed fuzz_answer kana-range
printf 'btns 2 1&5\n2' | seed fuzz_answer number-range
printf 'hbtns 1 ア&オ\nア' | seed fuzz_answer katakana
printf 'hbtn 10 a;b;c;d;e;f;g;h;i;j;k;l\nj' | seed fuzz_answer many

# ---- progress files of the sample problem
progress() {  # progress NAME LINES...: the 14 state lines, then 101 results
    local name=$1; shift
    { printf '%s\r\n' "$@"; for i in $(seq 101); do
        if [ "$i" -le 2 ]; then printf '○\r\n'; else printf '\r\n'; fi; done; } | seed fuzz_progress "$name"
}
progress start 3 0 -1 1 -9 0 0 0 0 0 0 f f
progress picture 4 2 0 'jpg fruit 380 80 160' 1 2 3 1 2 1 1 0 t t
progress review 5 1 -1 1 2 3 2 1 3 1 1 t f
# Counts at the integer limit (once overflowed on the next answer), for
# both problems of the target (odd and even lengths).
progress limits-a 5 1 -1 1 2 3 2147483647 1 2147483647 2147483647 1 t f
progress limits-b 5 1 -1 1 2 3 2147483647 1 2147483647 2147483647 01 t f

# ---- settings files
crlf <<'T' | seed fuzz_ini ruzozu.ini
[Folder]
Folder=/home/drill/問題
Full=1
Change=0
History0="/a/b"
[Data]
Folder=/srv/score/
Network=$1F
Mode=0x3
; comment=1
[日本語]
キー = '値'
T
crlf <<'T' | seed fuzz_ini vaduvov.ini
[Window]
Top=10
Left=-20
[Data]
ExeDir=/opt/ruzozu/
Interval=5
T

# ---- comma-text lines, rosters, results, CSV
printf '"A1","山田 太郎","x",  plain , "a""b"' | seed fuzz_commatext quoted
printf 'a,b,,c\td' | seed fuzz_commatext plain
crlf <<'T' | seed fuzz_roster ruzozu.mib
"A1","山田","\x00YZ"
"B2","佐藤",""
"C3"
T
printf '"x","y","z"\n"p","q"\r\n' | raw fuzz_roster mixed
crlf <<'T' | seed fuzz_results PC01.dat
"A1","山田"
"○","×"
"算数","8"
"3","1","2"
T
printf '"B2","b"\n"×","○"\n"p","x5"\n' | seed fuzz_results header-only
# Counts at the integer limit (once overflowed when added).
printf '"F6","f"\r\n"×","×"\r\n"p","-2"\r\n"7","2147483647","2147483647"\r\n' | seed fuzz_results limits
crlf <<'T' | seed fuzz_csv roster.csv
ID,名前,パスワード
A1,山田,pw1
"B2","佐藤 花子","p,w"
T
printf 'a;b\r\n1,2,3,4,5,6\r\n\x1a' | raw fuzz_csv ragged

# ---- large inputs of the shapes whose cost grows with the size (many
# lines, many fields, one long line), near the longest input each target
# is given (fuzz/targets.txt), so that a reader slower than linear shows
# as a time-out from the first run on.
big() {  # big TARGET NAME AWK-PROGRAM: the program's output, as it is
    mkdir -p "$out/$1"
    awk "BEGIN { $3 }" > "$out/$1/$2"
}
big fuzz_commatext many-fields 'for (i = 0; i < 120000; i++) printf "%s", "\"a\"\",b,"'
big fuzz_commatext long-field 'printf "\""; for (i = 0; i < 200000; i++) printf "ab\"\""; printf "\""'
big fuzz_textfile many-lines 'for (i = 0; i < 200000; i++) printf "a\r\n\r"'
big fuzz_textfile one-line 'for (i = 0; i < 90000; i++) printf "pic\\Sub"'
big fuzz_ini many-keys 'for (i = 0; i < 20000; i++) printf "[S%d]\r\nKey%d=%d\r\n", i % 500, i, i'
big fuzz_ini long-value 'printf "[Data]\r\nFolder="; for (i = 0; i < 200000; i++) printf "/ab"; printf "\r\n"'
big fuzz_roster many-learners 'for (i = 0; i < 30000; i++) printf "\"%06d\",\"name%d\",\"pw\"\r\n", i, i'
big fuzz_roster long-line 'for (i = 0; i < 100000; i++) printf "\"x\",,"; printf "\r\n"'
big fuzz_results many-results 'printf "\"A1\",\"a\"\r\n"; for (i = 0; i < 60000; i++) printf "\"p%d\",\"%d\"\r\n", i, i % 100'
big fuzz_results long-line 'printf "\"A1\",\"a\"\r\n\"x\""; for (i = 0; i < 150000; i++) printf ",\"1\""; printf "\r\n"'
big fuzz_csv many-rows 'printf "ID,name,pw\r\n"; for (i = 0; i < 40000; i++) printf "%06d,name%d,pw%d\r\n", i, i, i'
big fuzz_csv many-columns 'for (i = 0; i < 200000; i++) printf "a,"; printf "\r\n1,2\r\n"'
big fuzz_problem many-questions 'for (i = 0; i < 20000; i++) printf "q%d\r\nbtn 2 1&4\r\n/\r\n", i'
big fuzz_problem long-block 'printf "a\r\n"; for (i = 0; i < 60000; i++) printf "@hint\r\nx\r\n@/\r\n"; printf "/\r\n"'

# ---- text
printf 'ABC あいう ｱｲｳ 漢字\r\n' | seed fuzz_sjis mixed
printf '\x81\x40\x82\xA0\xFC\xFC\x80\xA0\xDF\x81' | raw fuzz_sjis raw
printf 'line1\r\nline2\rline3\nlast\x1a after' | raw fuzz_textfile lines
printf 'pic\\Sub\\Apple.BMP\r\n' | raw fuzz_textfile windows-name

# ---- item-ID lists: items of "cb (2 bytes) + data", then a zero count
printf '\x05\x00abc\x04\x00zz\x00\x00' | raw fuzz_pidl two-items
printf '\x08\x00/tmp/\x03\x00a\x00\x00' | raw fuzz_pidl path
printf '\xff\x7f\x02\x00' | raw fuzz_pidl broken

# ---- pictures
mkdir -p "$out/fuzz_bmp" "$out/fuzz_jpeg" "$out/fuzz_png" "$out/fuzz_setdib"
cp "$src/samples/apple.bmp" "$out/fuzz_bmp/"
cp "$src/samples/fruit.jpg" "$out/fuzz_jpeg/"
# The same made progressive and 60000 x 60000 (once read whole before its
# size was checked).
sof=$(LC_ALL=C grep -obUaP '\xff\xc0' "$src/samples/fruit.jpg" | head -1 | cut -d: -f1)
cp "$src/samples/fruit.jpg" "$out/fuzz_jpeg/progressive-huge"
printf '\xc2' | dd of="$out/fuzz_jpeg/progressive-huge" bs=1 seek=$((sof + 1)) conv=notrunc status=none
printf '\xea\x60\xea\x60' | dd of="$out/fuzz_jpeg/progressive-huge" bs=1 seek=$((sof + 5)) conv=notrunc status=none
cp "$src/samples/star.png" "$out/fuzz_png/"
# A header claiming 40000 x 40000 pixels (once made the plug-in ask for 6.4 GB).
printf '\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x9c\x40\x00\x00\x9c\x40\x08\x06\x00\x00\x00\x51\x0c\x0e\x05' > "$out/fuzz_png/huge"
printf '\x00\x00\x00\x0bIDAT\x78\x9c\x63\x60\x40\x05\x00\x00\x10\x00\x01\x39\xbd\x8f\x65\x00\x00\x00\x00IEND\xae\x42\x60\x82' >> "$out/fuzz_png/huge"
# A 2 x 2 bitmap with a palette of two colours, one bit a pixel.
dib2='\x28\x00\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x01\x00\x00\x00\x00\x00\x08\x00\x00\x00'
dib2+='\x13\x0b\x00\x00\x13\x0b\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00'
pal2='\x00\x00\x00\x00\xff\xff\xff\x00'
bits2='\x80\x00\x00\x00\x40\x00\x00\x00'
printf "BM\\x46\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x3e\\x00\\x00\\x00$dib2$pal2$bits2" > "$out/fuzz_bmp/mono.bmp"
# SetDIB: the information block's size, the block, then the bits.
printf "\\x30\\x00$dib2$pal2$bits2" > "$out/fuzz_setdib/mono"
{ printf '\x28\x00'; tail -c +15 "$src/samples/apple.bmp"; } > "$out/fuzz_setdib/apple"

# ---- metafiles: the sample shapes, as the project writes them
mkdir -p "$out/fuzz_metafile"
cp "$src/samples/shapes.wmf" "$src/samples/shapes.emf" "$out/fuzz_metafile/"

# ---- pictures: every shape of the generated picture corpus, by format
corpus=$(mktemp -d)
if /usr/bin/python3 "$src/ruzozu/widgets/tests/make_picture_corpus.py" "$corpus" >/dev/null 2>&1; then
    for pair in png:fuzz_png ico:fuzz_ico bmp:fuzz_bmp jpg:fuzz_jpeg; do
        mkdir -p "$out/${pair#*:}"
        cp "$corpus"/*."${pair%%:*}" "$out/${pair#*:}/"
    done
fi
rm -rf "$corpus"
