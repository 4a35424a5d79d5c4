#!/usr/bin/env bash
# signed_release.sh QUILLOM.EXE LZHTEST BUILD: scripts/release.sh as a vendor
# runs it, with four files and throw-away certificates made here by openssl
# (a CA and the vendor's code-signing certificate that it issued). A signed
# release passes osslsigncode verify and sha256sum -c, has its payload ahead
# of its certificate table and comes out the same twice; one table holds
# every refusal and every failing check (a stand-in osslsigncode, first in
# PATH, spoils its work), none of which may write OUTDIR; under Wine the
# signed setup installs, and a byte changed in a member's data fails the
# signature and makes the setup report 2016. BUILD is the releases' own
# build folder, kept from one release to the next.
set -u -o pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/tests/e2e/harness.sh"
quillom=$1 lzhtest=$2 build=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -f "${E2E_SETUP:-}" ] || fail "E2E_SETUP names no setup (CTest sets it)"
work=$(dirname "$build")/work
rm -rf "$work" && mkdir -p "$work" && cd "$work" || fail "cannot create $work"
export SOURCE_DATE_EPOCH=1764547200 # 2025-12-01 00:00:00 UTC
export QM_RELEASE_BUILD=$build QM_SIGN_NAME=Quillometer QM_SIGN_URL=https://quillometer.example/
unset QM_SIGN_PKCS12 QM_SIGN_PASSWORD_FILE QM_SIGN_TIMESTAMP_URL TAMPER

mkdir files other changed && cp "$quillom" files/Quillom.exe && cp "$root/payload/ReadMe.txt" files/ &&
    "$lzhtest" text 40000 11 >files/Quillom.hlp && "$lzhtest" bytes 3000 5 >files/Quillom.cnt &&
    cp files/Quillom.hlp other/ && cp files/ReadMe.txt other/README.TXT &&
    "$lzhtest" text 40000 12 >changed/Quillom.hlp || fail "cannot make the files"
four="files/Quillom.exe files/Quillom.hlp files/Quillom.cnt files/ReadMe.txt"

# --- Certificates: one key for all. The CA issues vendor's (code signing) and
# those of expired, server (TLS servers) and encipher (a key that may not
# sign); stranger's is self-signed, trusted by no one.

pkcs12_of() { # NAME: NAME.p12 of NAME.pem, the key and the CA, sealed with NAME.pw
    printf '%s password\n' "$1" >"$1.pw" &&
        openssl pkcs12 -export -inkey vendor.key -in "$1.pem" -certfile ca.pem -passout "file:$1.pw" -out "$1.p12"
}
certificate() { # NAME DAYS EXTENDED-KEY-USAGE KEY-USAGE
    printf 'basicConstraints=CA:false\nkeyUsage=critical,%s\nextendedKeyUsage=%s\n' "$4" "$3" >"$1.ext" &&
        openssl req -new -key vendor.key -subj "/O=Fenwarde/CN=$1" -out "$1.csr" &&
        openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -days "$2" -extfile "$1.ext" -out "$1.pem" &&
        pkcs12_of "$1"
}
{
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -days 2 -subj "/CN=Quillometer Test CA" \
        -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign -out ca.pem &&
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out vendor.key &&
        certificate vendor 1 codeSigning digitalSignature && certificate expired -1 codeSigning digitalSignature &&
        certificate server 1 serverAuth digitalSignature && certificate encipher 1 codeSigning keyEncipherment &&
        openssl req -x509 -key vendor.key -days 1 -subj /CN=stranger -addext extendedKeyUsage=codeSigning -out stranger.pem &&
        pkcs12_of stranger &&
        openssl pkcs12 -export -nokeys -in vendor.pem -passout file:vendor.pw -out keyless.p12 &&
        openssl pkcs12 -export -nocerts -inkey vendor.key -passout file:vendor.pw -out certless.p12 &&
        head -c 2000 /dev/urandom >junk.p12 && echo wrong >wrong.pw && printf 'vendor password\nmore\n' >two-lines.pw
} >certificates.log 2>&1 || { cat certificates.log; fail "openssl could not make the certificates"; }
! openssl x509 -in expired.pem -noout -checkend 0 >/dev/null || fail "the expired certificate has not expired"
signing="QM_SIGN_PKCS12=vendor.p12 QM_SIGN_PASSWORD_FILE=vendor.pw"

# release OUTDIR [VAR=VALUE...] -- FILE...: scripts/release.sh with those
# variables, its messages in OUTDIR.log.
release() {
    local out=$1 vars=()
    shift
    while [ "$1" != -- ]; do vars+=("$1") && shift; done
    shift
    env "${vars[@]}" bash "$root/scripts/release.sh" "$out" "$@" >"$out.log" 2>&1
}
payload_offset() { # EXE: where the payload starts in it
    LC_ALL=C grep -obUaF -f <(head -c 24 "$build/payload.lzh") "$1" | head -n 1 | cut -d: -f1 | grep . ||
        fail "the payload is not in $1"
}
payload_data_offset() { # EXE: a byte of the first member's data (a level-2 header begins with its size)
    local start
    start=$(payload_offset "$1") || exit 1
    echo $((start + $(od -An -tu2 -N2 "$build/payload.lzh") + 40))
}

# --- A signed release -----------------------------------------------------------

# shellcheck disable=SC2086
release "$work/out1" $signing -- $four || fail "the release failed: $(cat out1.log)"
cat out1.log
[ "$(ls out1 | tr '\n' ' ')" = "QuillometerSetup.exe SHA256SUMS " ] || fail "out1 holds $(ls out1)"
(cd out1 && sha256sum -c SHA256SUMS) || fail "sha256sum -c does not accept out1/SHA256SUMS"
osslsigncode verify -CAfile ca.pem -in out1/QuillometerSetup.exe >verify.log 2>&1 ||
    { cat verify.log; fail "osslsigncode verify fails on the release"; }
cat verify.log
for line in 'Signature verification: ok' 'Signing time: Dec  1 00:00:00 2025 GMT' \
    'Text description: Quillometer' 'URL description: https://quillometer.example/' \
    'Message digest algorithm  : SHA256' 'Subject: /O=Fenwarde/CN=vendor'; do
    grep -qF "$line" verify.log || fail "osslsigncode verify does not show '$line'"
done
# The certificate table (the data directories' security entry, whose address
# is a file offset) follows the payload.
pe=$(od -An -tu4 -j60 -N4 out1/QuillometerSetup.exe | tr -d ' ')
table=$(od -An -tu4 -j$((pe + 24 + 128)) -N4 out1/QuillometerSetup.exe | tr -d ' ')
start=$(payload_offset out1/QuillometerSetup.exe) || exit 1
end=$((start + $(stat -c %s "$build/payload.lzh")))
[ "$table" -ge "$end" ] || fail "the certificate table at byte $table comes before the payload's end at $end"
echo "the payload lies at bytes $start to $end, the certificate table from byte $table"

# An unsigned release of other files (another Quillom.hlp); the setup it
# built stands in below for a stale build.
release "$work/unsigned" -- files/Quillom.exe changed/Quillom.hlp files/Quillom.cnt files/ReadMe.txt ||
    fail "the unsigned release failed: $(cat unsigned.log)"
grep -qx 'release: not signed (QM_SIGN_PKCS12 is not set)' unsigned.log || fail "the unsigned release says: $(cat unsigned.log)"
(cd unsigned && sha256sum -c SHA256SUMS) || fail "sha256sum -c does not accept unsigned/SHA256SUMS"
! osslsigncode verify -in unsigned/QuillometerSetup.exe >unsigned-verify.log 2>&1 &&
    grep -q 'No signature found' unsigned-verify.log || fail "the unsigned release carries a signature"
cp "$build/QuillometerSetup.exe" stale.exe || exit 1

# --- Refusals and failing checks: OUTDIR is not written -------------------------
# TAMPER makes the stand-in osslsigncode sign with stranger's certificate,
# sign another setup (stale.exe, or the tree's own of two files), damage the
# payload before signing, or change the checksum field after it.

mkdir stand-in
cat >stand-in/osslsigncode <<EOF
#!/usr/bin/env bash
args=("\$@")
for ((i = 0; i < \$#; i++)); do
    case "\$1:\${TAMPER:-}:\${args[i]}" in
    sign:stranger:-pkcs12) args[i + 1]=$work/stranger.p12 ;;
    sign:stranger:-readpass) args[i + 1]=$work/stranger.pw ;;
    sign:stale:-in) args[i + 1]=$work/stale.exe ;;
    sign:fewer:-in) args[i + 1]=$E2E_SETUP ;;
    sign:payload:-in) cp "\${args[i + 1]}" $work/damaged.exe && "$lzhtest" flip $work/damaged.exe $(payload_data_offset stale.exe) && args[i + 1]=$work/damaged.exe ;;
    sign:checksum:-out) out=\${args[i + 1]} ;;
    esac
done
$(command -v osslsigncode) "\${args[@]}" || exit
[ -z "\${out:-}" ] || printf '\x01\x02\x03\x04' | dd of="\$out" bs=1 seek=$((pe + 88)) conv=notrunc status=none
EOF
chmod +x stand-in/osslsigncode
export PATH=$work/stand-in:$PATH
printf 'x' >a-file
mkdir -p folder/Quillom.hlp
rows=0
while IFS='|' read -r what vars files message; do
    rows=$((rows + 1))
    out=$work/refused-$rows
    [ "$what" != "OUTDIR is a file" ] || out=a-file
    # shellcheck disable=SC2086
    release "$out" $vars -- $files
    status=$?
    [ $status -eq 1 ] || fail "$what: exit status $status, not 1: $(cat "$out.log")"
    grep -qE "^release: $message" "$out.log" || fail "$what: no message '$message' in: $(cat "$out.log")"
    [ "$(grep -cE '^release: (check|signing) failed' "$out.log")" -le 1 ] || fail "$what: more failed: $(cat "$out.log")"
    [ "$out" = a-file ] && [ "$(cat a-file)" = x ] || [ ! -e "$out" ] || fail "$what: $out was written"
    echo "refused: $what: $(grep -m1 -E "^release: $message" "$out.log")"
done <<EOF
a missing file||files/Quillom.exe missing/Quillom.hlp files/ReadMe.txt|no such file: missing/Quillom.hlp
a folder for a file||files/Quillom.exe folder/Quillom.hlp files/ReadMe.txt|not a file: folder/Quillom.hlp
a file no one can read||files/Quillom.exe /proc/self/mem files/ReadMe.txt|cannot read /proc/self/mem
two files with one base name||$four other/Quillom.hlp|two files install as Quillom.hlp
names that differ in case only||$four other/README.TXT|two files install as README.TXT
no Quillom.exe||files/Quillom.hlp files/ReadMe.txt|no Quillom.exe among the files
no ReadMe.txt||files/Quillom.exe files/Quillom.hlp|no ReadMe.txt among the files
OUTDIR is a file||$four|a-file is no folder
a bad SOURCE_DATE_EPOCH|SOURCE_DATE_EPOCH=2025-12-01|$four|SOURCE_DATE_EPOCH is not a count of seconds
a missing PKCS#12 file|QM_SIGN_PKCS12=none.p12 QM_SIGN_PASSWORD_FILE=vendor.pw|$four|cannot read the certificate none.p12 \(QM_SIGN_PKCS12\)
a missing password file|QM_SIGN_PKCS12=vendor.p12 QM_SIGN_PASSWORD_FILE=none.pw|$four|cannot read the password file none.pw
a wrong password|QM_SIGN_PKCS12=vendor.p12 QM_SIGN_PASSWORD_FILE=wrong.pw|$four|cannot read the certificate vendor.p12: a wrong password
a password file of two lines|QM_SIGN_PKCS12=vendor.p12 QM_SIGN_PASSWORD_FILE=two-lines.pw|$four|the password file two-lines.pw has more than one line
no PKCS#12 file|QM_SIGN_PKCS12=junk.p12|$four|cannot read the certificate junk.p12: a wrong password, or no PKCS#12 file
no key in it|QM_SIGN_PKCS12=keyless.p12 QM_SIGN_PASSWORD_FILE=vendor.pw|$four|cannot read the certificate keyless.p12: it holds no private key
a key without its certificate|QM_SIGN_PKCS12=certless.p12 QM_SIGN_PASSWORD_FILE=vendor.pw|$four|cannot read the certificate certless.p12: it holds no certificate for its key
an expired certificate|QM_SIGN_PKCS12=expired.p12 QM_SIGN_PASSWORD_FILE=expired.pw|$four|the certificate of O = Fenwarde, CN = expired has expired
a certificate for TLS servers|QM_SIGN_PKCS12=server.p12 QM_SIGN_PASSWORD_FILE=server.pw|$four|.*is not for code signing \(extended key usage: TLS Web Server Authentication\)
a key that may not sign|QM_SIGN_PKCS12=encipher.p12 QM_SIGN_PASSWORD_FILE=encipher.pw|$four|.*is not for code signing \(key usage: Key Encipherment\)
signed by a stranger|TAMPER=stranger $signing|$four|check failed: osslsigncode verify fails
the payload damaged before signing|TAMPER=payload $signing|$four|check failed: lzhx cannot extract the payload
a setup built from other files|TAMPER=stale $signing|$four|check failed: Quillom.hlp comes out of the payload changed
the tree's own setup, of two files|TAMPER=fewer $signing|$four|check failed: the payload holds Quillom.exe ReadMe.txt, not Quillom.exe Quillom.hlp Quillom.cnt ReadMe.txt
the checksum field changed after signing|TAMPER=checksum $signing|$four|check failed: the PE checksum field is wrong: QuillometerSetup.exe: PE checksum field 04030201
a time-stamp server that does not answer|QM_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ $signing|$four|signing failed
EOF

# --- The same bytes again, after the build folder served other files ------------

# shellcheck disable=SC2086
release "$work/out2" $signing -- $four || fail "the second release failed: $(cat out2.log)"
echo "SHA256SUMS of the two releases:"
cat out1/SHA256SUMS out2/SHA256SUMS
cmp out1/QuillometerSetup.exe out2/QuillometerSetup.exe && cmp -s out1/SHA256SUMS out2/SHA256SUMS ||
    fail "two releases with SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH differ"

# --- Under Wine: the signed setup installs; a changed byte fails ----------------

e2e_load
dir=$(e2e_case_dir release) || fail "cannot create the case folder"
host=$(e2e_host_path "$dir")
cp out1/QuillometerSetup.exe "$host/QuillometerSetup.exe" && cp out1/QuillometerSetup.exe "$host/Damaged.exe" &&
    "$lzhtest" flip "$host/Damaged.exe" "$(payload_data_offset "$host/Damaged.exe")" || fail "cannot make Damaged.exe"
! osslsigncode verify -CAfile ca.pem -in "$host/Damaged.exe" >damaged-verify.log 2>&1 &&
    grep -q 'Signature verification: failed' damaged-verify.log ||
    { cat damaged-verify.log; fail "osslsigncode verify passes a setup with a changed byte"; }
grep -E 'message digest' damaged-verify.log

run_install() { # SETUP DEST END: the install flow into DEST, which it creates, then END
    { scenario_to_folder_dialog; cat <<SCENARIO; } | e2e_robot "$dir\\$1"
type 1006 '$dir\\$2'
click 1
msgbox yesno '$dir\\$2' + "\n\n" + @2009
owner folder
answer yes
$3
SCENARIO
}
run_install QuillometerSetup.exe dest $'msgbox yesno @2012\nanswer no\nexit 0' || fail "the signed setup did not install"
for f in $four; do
    e2e_same_file "$host/dest/${f##*/}" "$f" || fail "the signed setup installed ${f##*/} changed"
done
[ "$(ls "$host/dest" | wc -l)" -eq 4 ] || fail "the signed setup installed more: $(ls "$host/dest")"
echo "the signed setup installed: $(ls "$host/dest" | tr '\n' ' ')"
run_install Damaged.exe damaged $'msgbox ok @2016\nanswer ok\ndialog menu\nesc\nexit 0' ||
    fail "the setup with a changed byte did not report 2016"
[ ! -e "$host/damaged/Quillom.exe" ] || fail "the damaged Quillom.exe was left"
echo "release.signed: $rows refusals and failing checks; the signed setup verified, made again to the byte, installed under Wine"
