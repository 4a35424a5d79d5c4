#!/usr/bin/env bash
# release.sh OUTDIR FILE...: the setup of a release, as a vendor ships it.
#
# Builds the setup with FILE... as its payload, in that order (Quillom.exe
# first, ReadMe.txt last), signs it, checks it, and only then writes into
# OUTDIR (created when missing):
#   QuillometerSetup.exe  signed when QM_SIGN_PKCS12 is set
#   SHA256SUMS            its SHA-256, in the form that sha256sum -c reads
#
#   QM_SIGN_PKCS12         PKCS#12 file: the code-signing certificate, its key and
#                          the certificates of its chain
#   QM_SIGN_PASSWORD_FILE  a file whose one line is the PKCS#12 password (unset:
#                          no password); it never goes on a command line
#   QM_SIGN_NAME           the publisher's description of the program, shown by Windows
#   QM_SIGN_URL            the publisher's URL, shown by Windows
#   QM_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional): the
#                          signature then stays valid after the certificate expires
#   SOURCE_DATE_EPOCH      the signing time and the cap of the payload's recorded
#                          times: two releases of one tree with the same files
#                          and certificate give the same bytes (no time-stamp
#                          server; an RSA key)
#   QM_RELEASE_BUILD       the build folder (default build/release), kept from
#                          one release to the next
#
# It refuses, with nothing written to OUTDIR: a missing or unreadable file, two
# files with one base name (Windows takes names without regard to case), no
# Quillom.exe or no ReadMe.txt among them, a certificate that cannot be read,
# has expired or is not for code signing.
#
# Before anything is written out, the setup must pass: osslsigncode verify
# against the certificate's own chain, lzhx extracting every FILE from it
# byte for byte in order, and its PE checksum field. A failed check leaves
# OUTDIR as it was.
#
# Exit status 0; 1 when it refuses or a check fails; 64 on a wrong command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_RELEASE_BUILD:-$root/build/release}
case $build in /*) ;; *) build=$PWD/$build ;; esac
setup=QuillometerSetup.exe

die() {
    echo "release: $*" >&2
    exit 1
}

if [ $# -lt 2 ]; then
    echo "usage: scripts/release.sh OUTDIR FILE...   (see the head of this script)" >&2
    exit 64
fi
outdir=$1
shift
[ ! -e "$outdir" ] || [ -d "$outdir" ] || die "$outdir is no folder"

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ $SOURCE_DATE_EPOCH =~ ^[0-9]{1,10}$ ]] ||
        die "SOURCE_DATE_EPOCH is not a count of seconds since 1970: $SOURCE_DATE_EPOCH"
    export SOURCE_DATE_EPOCH
else
    unset SOURCE_DATE_EPOCH
fi

# --- The files --------------------------------------------------------------

declare -A by_name=()
names=()
for f in "$@"; do
    [ -e "$f" ] || die "no such file: $f"
    [ -f "$f" ] || die "not a file: $f"
    [ -r "$f" ] || die "cannot read $f"
    name=${f##*/}
    key=$(LC_ALL=C tr A-Z a-z <<<"$name")
    [ -z "${by_name[$key]:-}" ] ||
        die "two files install as $name: ${by_name[$key]} and $f (Windows takes names without regard to case)"
    by_name[$key]=$f
    names+=("$name")
done
[ -n "${by_name[quillom.exe]:-}" ] || die "no Quillom.exe among the files: the setup installs and starts it"
[ -n "${by_name[readme.txt]:-}" ] || die "no ReadMe.txt among the files: the setup's ReadMe button shows it"

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- The certificate ----------------------------------------------------------
# Only certificates reach the disk (the chain for the check); the key goes
# from openssl to openssl through a pipe.

p12=${QM_SIGN_PKCS12:-}
password=(-passin pass:)
readpass=()
pkcs12() { openssl pkcs12 -in "$p12" "${password[@]}" "$@"; }
# first_error LOG: the reason of the first error that openssl logged.
first_error() { awk -F: 'NR == 1 { print (/:error:/ ? $6 : $0) }' "$1"; }
one_line() { tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

check_certificate() {
    local what="the certificate $p12" errors=$work/openssl.log
    [ -f "$p12" ] && [ -r "$p12" ] || die "cannot read $what (QM_SIGN_PKCS12)"
    if [ -n "${QM_SIGN_PASSWORD_FILE:-}" ]; then
        local pw=$QM_SIGN_PASSWORD_FILE
        [ -f "$pw" ] && [ -r "$pw" ] || die "cannot read the password file $pw (QM_SIGN_PASSWORD_FILE)"
        [ "$(wc -l <"$pw")" -le 1 ] || die "the password file $pw has more than one line: the password is its only line"
        password=(-passin "file:$pw")
        readpass=(-readpass "$pw")
    fi
    # Keys of older PKCS#12 files are sealed with ciphers that OpenSSL 3
    # keeps in its legacy provider (osslsigncode loads it by itself).
    if ! pkcs12 -nokeys -out "$work/chain.pem" 2>"$errors"; then
        password+=(-legacy)
        pkcs12 -nokeys -out "$work/chain.pem" 2>/dev/null ||
            die "cannot read $what: a wrong password, or no PKCS#12 file ($(first_error "$errors"))"
    fi
    pkcs12 -nocerts -nodes 2>/dev/null | openssl pkey -noout 2>/dev/null ||
        die "cannot read $what: it holds no private key"
    pkcs12 -nokeys -clcerts -out "$work/certificate.pem" 2>"$errors" && [ -s "$work/certificate.pem" ] ||
        die "cannot read $what: it holds no certificate for its key"

    local x509=(openssl x509 -in "$work/certificate.pem" -noout) subject end
    subject=$("${x509[@]}" -subject -nameopt oneline)
    subject=${subject#subject=}
    what="the certificate of $subject"
    end=$("${x509[@]}" -enddate)
    "${x509[@]}" -checkend 0 >/dev/null || die "$what has expired (${end#*=})"
    local usage key_usage
    usage=$("${x509[@]}" -ext extendedKeyUsage 2>/dev/null | tail -n +2)
    grep -q 'Code Signing' <<<"$usage" ||
        die "$what is not for code signing (extended key usage: $(one_line <<<"${usage:-none}"))"
    key_usage=$("${x509[@]}" -ext keyUsage 2>/dev/null | tail -n +2)
    [ -z "$key_usage" ] || grep -q 'Digital Signature' <<<"$key_usage" ||
        die "$what is not for code signing (key usage: $(one_line <<<"$key_usage"))"
    signer=$subject
}

signer=
[ -z "$p12" ] || check_certificate

# --- The build ----------------------------------------------------------------
# The payload is built from copies in the build folder: what is packed is
# what is checked. The archive is packed afresh each time, since the files'
# times may be older than the archive of the last release.

files=$build/release-files
mkdir -p "$build" || die "cannot create the build folder $build"
# Copied beside the last release's copies first: a FILE may be one of them.
rm -rf "$files.new"
mkdir -p "$files.new"
payload=()
for f in "$@"; do
    cp -p -- "$f" "$files.new/" 2>"$work/cp.log" || die "cannot read $f ($(head -n 1 "$work/cp.log"))"
    payload+=("$files/${f##*/}")
done
rm -rf "$files"
mv "$files.new" "$files"
list=$(IFS=';' && echo "${payload[*]}")
echo "release: building the setup in $build"
(cd "$root" && cmake --preset release -B "$build" -DQM_PAYLOAD_FILES="$list") >"$work/configure.log" 2>&1 ||
    { tail -n 20 "$work/configure.log" >&2; die "the build could not be configured"; }
rm -f "$build/payload.lzh"
cmake --build "$build" --target QuillometerSetup >"$work/build.log" 2>&1 ||
    { tail -n 20 "$work/build.log" >&2; die "the build failed"; }
host=$build/host

# --- Signing and the checks ---------------------------------------------------

out=$work/$setup
if [ -n "$signer" ]; then
    sign=(sign -pkcs12 "$p12" "${readpass[@]}" -h sha256)
    [ -z "${QM_SIGN_NAME:-}" ] || sign+=(-n "$QM_SIGN_NAME")
    [ -z "${QM_SIGN_URL:-}" ] || sign+=(-i "$QM_SIGN_URL")
    [ -z "${QM_SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$QM_SIGN_TIMESTAMP_URL")
    [ -z "${SOURCE_DATE_EPOCH:-}" ] || sign+=(-time "$SOURCE_DATE_EPOCH")
    osslsigncode "${sign[@]}" -in "$build/$setup" -out "$out" >"$work/sign.log" 2>&1 ||
        { cat "$work/sign.log" >&2; die "signing failed"; }
else
    cp "$build/$setup" "$out"
fi

failed=()
if [ -n "$signer" ]; then
    # Revocation lists are not fetched: the check is about this file and
    # this certificate, and these machines reach no network.
    if ! osslsigncode verify -ignore-cdp -CAfile "$work/chain.pem" -in "$out" >"$work/verify.log" 2>&1 ||
        ! grep -qx 'Signature verification: ok' "$work/verify.log"; then
        grep -E 'error|Error|MISMATCH|failed' "$work/verify.log" | head -n 5 >&2 || true
        failed+=("osslsigncode verify fails")
    fi
fi
mkdir "$work/extracted"
if ! "$host/lzhx" "$out" "$work/extracted" >"$work/members.txt" 2>"$work/lzhx.log"; then
    cat "$work/lzhx.log" >&2
    failed+=("lzhx cannot extract the payload")
elif [ "$(cat "$work/members.txt")" != "$(printf '%s\n' "${names[@]}")" ]; then
    failed+=("the payload holds $(paste -sd ' ' "$work/members.txt"), not ${names[*]}")
else
    for name in "${names[@]}"; do
        cmp -s "$files/$name" "$work/extracted/$name" || failed+=("$name comes out of the payload changed")
    done
fi
(cd "$work" && "$host/pechecksum" "$setup") >"$work/checksum.log" 2>&1 ||
    failed+=("the PE checksum field is wrong: $(cat "$work/checksum.log")")
if [ ${#failed[@]} -gt 0 ]; then
    printf 'release: check failed: %s\n' "${failed[@]}" >&2
    die "nothing written to $outdir"
fi

# --- Writing out ----------------------------------------------------------------

(cd "$work" && sha256sum "$setup" >SHA256SUMS)
mkdir -p "$outdir" || die "cannot create $outdir"
cp "$out" "$outdir/$setup.part" && cp "$work/SHA256SUMS" "$outdir/SHA256SUMS.part" &&
    mv -f "$outdir/$setup.part" "$outdir/$setup" && mv -f "$outdir/SHA256SUMS.part" "$outdir/SHA256SUMS" ||
    { rm -f "$outdir/$setup.part" "$outdir/SHA256SUMS.part"; die "cannot write into $outdir"; }
echo "release: $outdir/$setup, $(stat -c %s "$out") bytes, payload ${names[*]}"
if [ -n "$signer" ]; then
    echo "release: signed by $signer${SOURCE_DATE_EPOCH:+ at $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')}"
else
    echo "release: not signed (QM_SIGN_PKCS12 is not set)"
fi
echo "release: $(cat "$work/SHA256SUMS")"
