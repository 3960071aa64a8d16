#pragma once
// Field texts of the parameter values: the two escapes that keep commas and line breaks out of a
// field, splitting a value into fields, the markup attribute escape and C-style number reading.
// Every function is linear in its input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Stands for one comma inside a field.
inline constexpr std::string_view kCommaEscape = "~@^`";
// Stands for one line break (CR LF) inside a field.
inline constexpr std::string_view kLineBreakEscape = "|_#`";

// Escapes a text for use as one field: CR LF pairs, then any lone CR or LF, become "|_#`"; then
// commas become "~@^`". Reading the field back gives CR LF for every line break.
std::string EscapeField(std::string_view text);
// EscapeField(text) appended to out, without a text of its own in between.
void AppendEscapedField(std::string& out, std::string_view text);

// Undoes both escapes of one field: "~@^`" becomes separator, then "|_#`" becomes CR LF.
std::string UnescapeField(std::string_view field, char separator = ',');

// Cuts value at each separator. In each piece the escapes are undone (UnescapeField). A
// separator at the very end starts no further piece, an empty value gives no pieces. The result
// is then cut or filled up with empty texts to exactly count pieces.
std::vector<std::string> SplitFields(std::string_view value, size_t count, char separator);

// All fields of text, cut at each separator, unescaped nothing: an empty text is one empty
// field, and a separator at the end is followed by one empty field. Looking up field n in the
// result (empty when n is past the end) is what reading one field at a time would give, without
// rescanning the text for every field.
std::vector<std::string_view> CutFields(std::string_view text, char separator);

// Field n of fields, or an empty view when there are fewer fields.
inline std::string_view FieldAt(const std::vector<std::string_view>& fields, size_t n) {
    return n < fields.size() ? fields[n] : std::string_view();
}

// Appends value in decimal, as std::to_string writes it, without a text of its own in between.
void AppendDecimal(std::string& out, int64_t value);

// Decimal number as C's atoi reads it: leading white space, an optional sign, then digits up to
// the first other character; 0 when there are none. Values beyond the 32-bit range are clamped
// to it instead of overflowing.
int32_t AtoI(std::string_view text);

// Escapes a text for use inside a double-quoted HTML attribute value: & first, then ", < and >.
std::string EscapeHtmlAttribute(std::string_view text);
// EscapeHtmlAttribute(text) appended to out, without a text of its own in between.
void AppendHtmlAttribute(std::string& out, std::string_view text);
