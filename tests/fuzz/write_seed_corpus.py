#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/.

FuzzedDataProvider takes strings from the front (a backslash followed by any
other byte ends one) and numbers from the back, so each seed is its strings,
then its numbers in reverse order of use. The numbers of each target follow
the order in which its harness draws them; a seed that drifts from that order
after a harness change is still a valid input, only a less pointed one.
"""
import os
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')

def s(text):
    if isinstance(text, str):
        text = text.encode('latin-1')
    return text.replace(b'\\', b'\\\\') + b'\\x'

def seed(target, name, strings, numbers, middle=b''):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    body = b''.join(s(x) for x in strings) + middle + bytes(reversed(numbers))
    open(os.path.join(d, name), 'wb').write(body)

T = 'text_primitives_fuzzer'
# numbers: forms of text, sought, other; then positions and flags (1: near the text)
tp_tail = [0, 0, 0, 1, 3, 1, 1, 5, 1, 2, 1, 4, 2, 1, 1, 0, 1, 3, 1, 0, 1, 1, 1]
seed(T, 'cookie_line', ['set-cookie: a=1; Path=/', 'Set-Cookie:', ''], tp_tail)
seed(T, 'second_byte_looks_ascii', [b'\x31\xB0\x41\x41\x81\x61', b'A', b'\x81\x41'], tp_tail)
seed(T, 'full_width_number', [b'\xA3\xB1\xA3\xAE\xA3\xB5', b'.', b' 1.2.0d-3'], tp_tail)
seed(T, 'spaces_and_lone_lead_byte', [b'\xA1\xA1 a b \xA1\xA1 \x81', b' ', b'\t'], tp_tail)
seed(T, 'split_pieces', [';a;;b;', ';', 'a;b;'], tp_tail)
seed(T, 'quote_marker', [b'<source src="x.mp3">', b'<source src=#\xD2\xFD\xBA\xC5', b'#\xD2\xFD\xBA\xC5'], tp_tail)

T = 'encoding_fuzzer'
utf16 = lambda u: u.encode('utf-16-le', 'surrogatepass')
seed(T, 'chinese_and_euro', [b'\xD6\xD0\xCE\xC4a\x80'], [0, 0, 0], utf16('e\u0301\u4e2d'))
seed(T, 'invalid_sequences', [b'\x81\x20a\xFF\x81\x30\x81\x30\xA1'], [0, 0, 0], utf16('\ud83d\ude00x\udc00'))
seed(T, 'zero_ends_the_text', [b'ab', b'cd'], [0, 1, 0, 0], utf16('a') + b'\x00\x00' + utf16('b'))
seed(T, 'dense_units', [b'\xA1\xA1\xA8\xA6'], [0, 0, 1], bytes(range(0, 40)))
seed(T, 'odd_byte_count', [b'x'], [0, 0, 0], b'a\x00b')

T = 'header_stage_fuzzer'
# numbers: as lines?, form, send given, merge, one variable, form of the sent cookies
seed(T, 'status_cookies_location', ['HTTP/1.1 302 Found\r\nSet-Cookie: sid=1; path=/\r\nSet-Cookie: lang=cn\r\nLocation: /x\r\n\r\n', 'a=1; sid=0'], [0, 0, 1, 1, 0, 0])
seed(T, 'lower_case_names', ['HTTP/1.1 200 OK\r\nset-cookie: a=1\r\nSet-Cookie:b=2\r\nlocation: /y\r\n\r\n', ''], [0, 0, 1, 1, 1, 0])
seed(T, 'high_byte_line_ends', [b'HTTP/1.1 200 \xE2\x9C\x93\r\nSet-Cookie: c=\xB0\r\nSet-Cookie: d=deleted\r\n\r\n', b'd=4'], [0, 0, 1, 1, 0, 0])
seed(T, 'short_status_line', ['HTTP/2 2\r\nServer: x\r\n\r\n', ''], [0, 0, 0, 0, 0, 0])
# as lines: count, then per line a form and its text
seed(T, 'built_from_lines', ['HTTP/1.1 200 OK', 'Set-Cookie: a=1', 'Location: /z', 'x=y'], [1, 3, 0, 0, 0, 1, 1, 0, 0])

T = 'cookie_merge_fuzzer'
seed(T, 'returned_wins_by_name', ['a=1; b=2', 'b=3; c=4', ' sid =x'], [0, 0, 0])
seed(T, 'deleted_entries', ['a=1; b=2', 'b=deleted; a=DELETED', '=deleted'], [0, 0, 0])
seed(T, 'empty_entries_and_repeats', ['a=1;;b=2;', 'A; A;  ; ; ', ''], [0, 0, 0])
seed(T, 'spaces_inside_values', [b'x=hello world\xA1\xA1!', b'y = 2 ;', b'bare'], [0, 0, 0])
seed(T, 'lead_byte_before_separator', [b'a=\x81;b=2', b'c=\xB0', b'\x81='], [0, 0, 0])

T = 'regex_object_fuzzer'
# numbers: forms of pattern, subject, replacement; then caseSensitive, multiline, global, quote marker
seed(T, 'charset_pattern', ['<meta.+?charset=[^\\w]?([-\\w]+)', '<html><META http-equiv="Content-Type" content="text/html; charset=UTF-8">', '[$1]'], [0, 0, 0, 0, 0, 0, 0])
seed(T, 'quote_marker', [b'src=#\xD2\xFD\xBA\xC5([^"]+)', b'<source src="a.mp3"><source src="b.mp3">', b'$&$$'], [0, 0, 0, 1, 1, 2, 2])
seed(T, 'two_byte_text', [b'(\xD6\xD0)+', b'\xD6\xD0a\xD6\xD0\xD6\xD0\x81A', b'<$1>'], [0, 0, 0, 2, 2, 1, 0])
seed(T, 'empty_matches', ['x*', 'abxxc', '-'], [0, 0, 0, 0, 2, 2, 0])
seed(T, 'does_not_compile', ['(a', 'aaa', ''], [0, 0, 0, 0, 0, 0, 0])
seed(T, 'backtracking', ['(a|aa)*b', 'a' * 40, '$1'], [0, 0, 0, 0, 0, 0, 0])

T = 'charset_stage_fuzzer'
# declared: structured?, form of prefix, charset index, quote, form of rest, zero byte
seed(T, 'declared_utf8', ['<!doctype html>', '<title>\xe4\xb8\xad</title>'], [1, 0, 3, 0, 0, 0])
seed(T, 'declared_gbk', ['<html>', b'<title>\xD6\xD0</title>'], [1, 0, 0, 1, 0, 0])
seed(T, 'unknown_charset', ['x', 'y'], [1, 0, 2, 0, 0, 0])
seed(T, 'utf8_with_bom', [b'\xEF\xBB\xBF', b'\xC3\x28\xED\xA0\x80\xF0\x9F\x98\x80'], [1, 0, 4, 0, 0, 0])
# any bytes: not structured, form, zero byte
seed(T, 'meta_on_a_later_line', ['<meta http-equiv="Content-Type"\ncontent="text/html; charset=big5">'], [0, 0, 0])
seed(T, 'no_meta', [b'<p>\xD6\xD0\xCE\xC4</p>'], [0, 0, 1])

T = 'sound_file_name_fuzzer'
seed(T, 'chinese_title', [b'\xCF\xC2\xD4\xD8 \xD3\xEA\xC9\xF9'], [0])
seed(T, 'path_steps', ['../a/./b\\..\\c'], [0])
seed(T, 'device_name', ['com1. '], [0])
seed(T, 'refused_characters', ['a:b*c?d"e<f>g|h\x01\x7f'], [0])
seed(T, 'long_title', [b'\xD6\xD0' * 200], [0])
