#include <cstring>

#include "cli.h"
#include "fatal.h"
#include "print.h"

std::int32_t opt_index = 1;
const char *opt_arg = nullptr;
std::int32_t opt_char = 0;

namespace {

constexpr char no_word[] = "";
const char *scan = no_word;            // next letter in the current word
const char *last_opt_string = nullptr; // a new pointer restarts the word

} // namespace

void reset_option_scanner()
{
	opt_index = 1;
	opt_arg = nullptr;
	opt_char = 0;
	scan = no_word;
	last_opt_string = nullptr;
}

// Scans one option letter; words are never reordered, and the first word
// that is not an option ends the options.
std::int32_t get_option(int argc, char *const argv[], const char *opt_string)
{
	if (opt_string != last_opt_string) {
		last_opt_string = opt_string;
		scan = no_word;
	}
	if (*scan == '\0') {
		if (opt_index >= argc) {
			scan = no_word;
			return -1;
		}
		const char *word = argv[opt_index];
		if (word[0] != '-' || word[1] == '\0') {
			scan = no_word;
			return -1;
		}
		scan = word + 1;
		if (scan[0] == '-' && scan[1] == '\0') { // "--" ends the options
			++opt_index;
			return -1;
		}
	}
	const char letter_text[2] = {*scan, '\0'}; // shown as a name is
	// The byte as the word had it, printed back as it came.
	// NOLINTNEXTLINE(bugprone-signed-char-misuse,cert-str34-c)
	opt_char = static_cast<signed char>(*scan++);
	const char *letter = opt_char == ':' ? nullptr : std::strchr(opt_string, opt_char);
	if (letter == nullptr) {
		if (*scan == '\0')
			++opt_index;
		say_name(argv[0]);
		say(" : illegal option -- ");
		say_name(letter_text);
		say("\n");
		return '?';
	}
	if (letter[1] == ':') {
		if (*scan == '\0' && ++opt_index >= argc) {
			scan = no_word;
			say_name(argv[0]);
			say(" : option requires an argument -- %c\n", opt_char);
			return '?';
		}
		opt_arg = *scan != '\0' ? scan : argv[opt_index];
		scan = no_word;
		++opt_index;
		return opt_char;
	}
	opt_arg = nullptr;
	if (*scan == '\0')
		++opt_index;
	return opt_char;
}
