#!/usr/bin/env perl
# Writes small archives that LHA tools do not make but the engine must take
# apart: headers without a file CRC, -lz4- members, level-1 name and
# header-CRC records, -lh5- blocks whose codes are constant (symbols of zero
# bits), a match that runs past the member's size, a header that straddles
# the 16,384-byte scan buffer. Every checksum and CRC is computed here.
#
# Usage: handmade.pl OUTDIR
use strict;
use warnings;

my $out = shift or die "usage: $0 OUTDIR\n";
-d $out or mkdir $out or die "mkdir $out: $!\n";

my @crc_table = map {
    my $r = $_;
    $r = ($r & 1) ? ($r >> 1) ^ 0xA001 : $r >> 1 for 1 .. 8;
    $r;
} 0 .. 255;

sub crc16 {
    my $c = 0;
    $c = $crc_table[($c ^ $_) & 0xFF] ^ ($c >> 8) for unpack('C*', $_[0]);
    return $c;
}

sub byte_sum { my $s = 0; $s += $_ for unpack('C*', $_[0]); return $s & 0xFF }

# MS-DOS time and date of 2001-02-03 04:05:06.
my $dos_time = (4 << 11) | (5 << 5) | 3;
my $dos_date = ((2001 - 1980) << 9) | (2 << 5) | 3;

# Level 0. $crc: undef for a header without the file CRC.
sub level0 {
    my ($method, $name, $data, $unpacked, $crc) = @_;
    my $body = $method . pack('VVvvCC', length $data, $unpacked, $dos_time, $dos_date, 0x20, 0)
      . pack('C', length $name) . $name;
    $body .= pack('v', $crc) if defined $crc;
    return pack('CC', length $body, byte_sum($body)) . $body . $data;
}

# Level 1 with extended headers: [type, data] pairs; a type of 0 gets the
# header CRC.
sub level1 {
    my ($method, $name, $data, $unpacked, $crc, @ext) = @_;
    my @records = map { pack('C', $_->[0]) . ($_->[0] == 0 ? "\0\0" : $_->[1]) } @ext;
    my $ext_total = 0;
    $ext_total += length($_) + 2 for @records;
    my $body = $method
      . pack('VVvvCC', length($data) + $ext_total, $unpacked, $dos_time, $dos_date, 0x20, 1)
      . pack('C', length $name) . $name . pack('v', $crc) . 'U';
    my @sizes = map { length($_) + 2 } @records;
    $body .= pack('v', @sizes ? $sizes[0] : 0);
    my $header = pack('CC', length $body, byte_sum($body)) . $body;
    my $crc_at = -1;
    for my $i (0 .. $#records) {
        $crc_at = length($header) + 1 if $ext[$i][0] == 0;
        $header .= $records[$i] . pack('v', $i < $#records ? $sizes[$i + 1] : 0);
    }
    substr($header, $crc_at, 2) = pack('v', crc16($header)) if $crc_at >= 0;
    return $header . $data;
}

# Level 2 with extended headers as for level 1; the header CRC record is
# added first.
sub level2 {
    my ($method, $data, $unpacked, $time, $crc, @ext) = @_;
    my @records = map { pack('C', $_->[0]) . $_->[1] } ([0, "\0\0"], @ext);
    my $h = 26;
    $h += length($_) + 2 for @records;
    my $header = pack('v', $h) . $method
      . pack('VVVCCvC', length $data, $unpacked, $time, 0x20, 2, $crc, ord 'U');
    $header .= pack('v', length($records[0]) + 2);
    for my $i (0 .. $#records) {
        $header .= $records[$i] . pack('v', $i < $#records ? length($records[$i + 1]) + 2 : 0);
    }
    die "level-2 header of $h bytes would read as the end marker\n" if $h % 256 == 0;
    substr($header, 27, 2) = pack('v', crc16($header));
    return $header . $data;
}

# A bit string ("0101...") packed most significant bit first.
sub bits {
    my $s = join '', @_;
    $s .= '0' x ((8 - length($s) % 8) % 8);
    return pack('B*', $s);
}
sub field { my ($value, $width) = @_; return sprintf("%0${width}b", $value) }

# One -lh5- block whose three codes are constant: every symbol costs no bits.
sub constant_block {
    my ($count, $symbol, $position) = @_;
    return field($count, 16) . field(0, 5) . field(0, 5) . field(0, 9) . field($symbol, 9)
      . field(0, 4) . field($position, 4);
}

sub put {
    my ($name, $bytes) = @_;
    open(my $f, '>:raw', "$out/$name") or die "$out/$name: $!\n";
    print $f $bytes;
    close $f or die "$out/$name: $!\n";
}

my $hello = "hello, world\n";
put('lh0-level0-crc.lzh',
    level0('-lh0-', 'HELLO.TXT', $hello, length $hello, crc16($hello))
      . level0('-lh0-', 'EMPTY.TXT', '', 0, 0) . "\0");
put('lh0-level0-nocrc.lzh', level0('-lh0-', 'dir\\a.txt', $hello, length $hello) . "\0");
put('lz4-level1-ext.lzh',
    level1('-lz4-', 'short', $hello, length $hello, crc16($hello),
           [1, 'longer-name.txt'], [0x40, "\x20\x00"], [0]) . "\0");
put('lh0-level2-ext.lzh',
    level2('-lh0-', $hello, length $hello, 981475132, crc16($hello),
           [1, 'sub/level2.txt'], [2, "folder\xFF"]) . "\0");

# 300 literals 'a' from a header of 52 bits.
my $a300 = 'a' x 300;
put('lh5-constant-literal.lzh',
    level2('-lh5-', bits(constant_block(300, ord 'a', 0)), 300, 981475132, crc16($a300),
           [1, 'a300.txt']) . "\0");
# Matches of 256 bytes at distance 0 over the initial spaces; the member's
# size is not a multiple of 256, so the last match runs 24 bytes over it, and
# without a file CRC in the header the longer file stands.
put('lh5-constant-overrun.lzh',
    level0('-lh5-', 'spaces.txt', bits(constant_block(4, 509, 0)), 1000) . "\0");
# A literal and then a block header announcing 0 symbols.
put('lh5-empty-block.lzh',
    level0('-lh5-', 'zero.txt',
           bits(constant_block(1, ord 'x', 0), constant_block(0, ord 'y', 0)), 2,
           crc16('xy')) . "\0");
# A member far larger than its data: 1,000,000 bytes from blocks of 65,535
# zero-bit literals; fuzz_extract cancels such a job with Abort.
put('lh5-constant-large.lzh',
    level0('-lh5-', 'large.txt', bits(constant_block(65535, ord 'q', 0)), 1000000) . "\0");
# Data that runs out: the rest decodes from zero bits.
put('lh5-short-data.lzh', level0('-lh5-', 'short.txt', "\x00\x01", 40) . "\0");

# A stored member whose header begins 10 bytes before the end of the first
# 16,384-byte scan buffer, after filler without any '-'.
my $filler = join '', map { chr(0x41 + ($_ * 7) % 26) } 1 .. 16374;
put('straddle.bin', $filler . level0('-lh0-', 'edge.txt', $hello, length $hello, crc16($hello)));
