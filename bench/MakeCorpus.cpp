// make_corpus: writes the decoding benchmark's corpus, a reproducible mix of
// text and binary files, from a fixed-seed generator.
//
//   make_corpus DIR [MEGABYTES]
//
// MEGABYTES (default 40) scales every file; the same arguments always give
// the same bytes on every machine (integer arithmetic only, no library
// random numbers, no floating point).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// SplitMix64: small, fast and the same everywhere.
class Rng {
  public:
    explicit Rng(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 to n - 1.
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>((Next() >> 32) * n >> 32); }
    // 0 to n - 1, small values far more often than large ones (roughly Zipf).
    uint32_t Skewed(uint32_t n) {
        const uint64_t u = Next() >> 43; // 21 bits
        const uint64_t cube = u * u >> 21;
        return static_cast<uint32_t>((cube * u >> 21) * n >> 21);
    }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

  private:
    uint64_t State;
};

using Bytes = std::string;

void Put16(Bytes& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

const char* const English[] = {
    "the",        "of",       "and",       "to",         "a",          "in",         "is",
    "it",         "you",      "that",      "he",         "was",        "for",        "on",
    "are",        "with",     "as",        "I",          "his",        "they",       "be",
    "at",         "one",      "have",      "this",       "from",       "or",         "had",
    "by",         "word",     "but",       "what",       "some",       "we",         "can",
    "out",        "other",    "were",      "all",        "there",      "when",       "up",
    "use",        "your",     "how",       "said",       "an",         "each",       "she",
    "which",      "do",       "their",     "time",       "if",         "will",       "way",
    "about",      "many",     "then",      "them",       "write",      "would",      "like",
    "so",         "these",    "her",       "long",       "make",       "thing",      "see",
    "him",        "two",      "has",       "look",       "more",       "day",        "could",
    "go",         "come",     "did",       "number",     "sound",      "no",         "most",
    "people",     "my",       "over",      "know",       "water",      "than",       "call",
    "first",      "who",      "may",       "down",       "side",       "been",       "now",
    "find",       "any",      "new",       "work",       "part",       "take",       "get",
    "place",      "made",     "live",      "where",      "after",      "back",       "little",
    "only",       "round",    "man",       "year",       "came",       "show",       "every",
    "good",       "me",       "give",      "our",        "under",      "name",       "very",
    "through",    "just",     "form",      "sentence",   "great",      "think",      "say",
    "help",       "low",      "line",      "differ",     "turn",       "cause",      "much",
    "mean",       "before",   "move",      "right",      "boy",        "old",        "too",
    "same",       "tell",     "does",      "set",        "three",      "want",       "air",
    "well",       "also",     "play",      "small",      "end",        "put",        "home",
    "read",       "hand",     "port",      "large",      "spell",      "add",        "even",
    "land",       "here",     "must",      "big",        "high",       "such",       "follow",
    "act",        "why",      "ask",       "men",        "change",     "went",       "light",
    "kind",       "off",      "need",      "house",      "picture",    "try",        "us",
    "again",      "animal",   "point",     "mother",     "world",      "near",       "build",
    "self",       "earth",    "father",    "head",       "stand",      "own",        "page",
    "should",     "country",  "found",     "answer",     "school",     "grow",       "study",
    "still",      "learn",    "plant",     "cover",      "food",       "sun",        "four",
    "between",    "state",    "keep",      "eye",        "never",      "last",       "let",
    "thought",    "city",     "tree",      "cross",      "farm",       "hard",       "start",
    "might",      "story",    "saw",       "far",        "sea",        "draw",       "left",
    "late",       "run",      "while",     "press",      "close",      "night",      "real",
    "life",       "few",      "north",     "open",       "seem",       "together",   "next",
    "white",      "children", "begin",     "got",        "walk",       "example",    "ease",
    "paper",      "group",    "always",    "music",      "those",      "both",       "mark",
    "often",      "letter",   "until",     "mile",       "river",      "car",        "feet",
    "care",       "second",   "book",      "carry",      "took",       "science",    "eat",
    "room",       "friend",   "began",     "idea",       "fish",       "mountain",   "stop",
    "once",       "base",     "hear",      "horse",      "cut",        "sure",       "watch",
    "color",      "face",     "wood",      "main",       "enough",     "plain",      "girl",
    "usual",      "young",    "ready",     "above",      "ever",       "red",        "list",
    "though",     "feel",     "talk",      "bird",       "soon",       "body",       "dog",
    "family",     "direct",   "pose",      "leave",      "song",       "measure",    "door",
    "product",    "black",    "short",     "numeral",    "class",      "wind",       "question",
    "happen",     "complete", "ship",      "area",       "half",       "rock",       "order",
    "fire",       "south",    "problem",   "piece",      "told",       "knew",       "pass",
    "since",      "top",      "whole",     "king",       "space",      "heard",      "best",
    "hour",       "better",   "true",      "during",     "hundred",    "five",       "remember",
    "step",       "early",    "hold",      "west",       "ground",     "interest",   "reach",
    "fast",       "verb",     "sing",      "listen",     "six",        "table",      "travel",
    "less",       "morning",  "ten",       "simple",     "several",    "vowel",      "toward",
    "war",        "lay",      "against",   "pattern",    "slow",       "center",     "love",
    "person",     "money",    "serve",     "appear",     "road",       "map",        "rain",
    "rule",       "govern",   "pull",      "cold",       "notice",     "voice",      "unit",
    "power",      "town",     "fine",      "certain",    "fly",        "fall",       "lead",
    "cry",        "dark",     "machine",   "note",       "wait",       "plan",       "figure",
    "star",       "box",      "noun",      "field",      "rest",       "correct",    "able",
    "pound",      "done",     "beauty",    "drive",      "stood",      "contain",    "front",
    "teach",      "week",     "final",     "gave",       "green",      "oh",         "quick",
    "develop",    "ocean",    "warm",      "free",       "minute",     "strong",     "special",
    "mind",       "behind",   "clear",     "tail",       "produce",    "fact",       "street",
    "inch",       "multiply", "nothing",   "course",     "stay",       "wheel",      "full",
    "force",      "blue",     "object",    "decide",     "surface",    "deep",       "moon",
    "island",     "foot",     "system",    "busy",       "test",       "record",     "boat",
    "common",     "gold",     "possible",  "plane",      "stead",      "dry",        "wonder",
    "laugh",      "thousand", "ago",       "ran",        "check",      "game",       "shape",
    "equate",     "hot",      "miss",      "brought",    "heat",       "snow",       "tire",
    "bring",      "yes",      "distant",   "fill",       "east",       "paint",      "language",
    "among",      "grand",    "ball",      "yet",        "wave",       "drop",       "heart",
    "present",    "heavy",    "dance",     "engine",     "position",   "arm",        "wide",
    "sail",       "material", "size",      "vary",       "settle",     "speak",      "weight",
    "general",    "ice",      "matter",    "circle",     "pair",       "include",    "divide",
    "syllable",   "felt",     "perhaps",   "pick",       "sudden",     "count",      "square",
    "reason",     "length",   "represent", "art",        "subject",    "region",     "energy",
    "hunt",       "probable", "bed",       "brother",    "egg",        "ride",       "cell",
    "believe",    "fraction", "forest",    "sit",        "race",       "window",     "store",
    "summer",     "train",    "sleep",     "prove",      "lone",       "leg",        "exercise",
    "wall",       "catch",    "mount",     "wish",       "sky",        "board",      "joy",
    "winter",     "sat",      "written",   "wild",       "instrument", "kept",       "glass",
    "grass",      "cow",      "job",       "edge",       "sign",       "visit",      "past",
    "soft",       "fun",      "bright",    "gas",        "weather",    "month",      "million",
    "bear",       "finish",   "happy",     "hope",       "flower",     "clothe",     "strange",
    "gone",       "jump",     "baby",      "eight",      "village",    "meet",       "root",
    "buy",        "raise",    "solve",     "metal",      "whether",    "push",       "seven",
    "paragraph",  "third",    "shall",     "held",       "hair",       "describe",   "cook",
    "floor",      "either",   "result",    "burn",       "hill",       "safe",       "cat",
    "century",    "consider", "type",      "law",        "bit",        "coast",      "copy",
    "phrase",     "silent",   "tall",      "sand",       "soil",       "roll",       "temperature",
    "finger",     "industry", "value",     "fight",      "lie",        "beat",       "excite",
    "natural",    "view",     "sense",     "ear",        "else",       "quite",      "broke",
    "case",       "middle",   "kill",      "son",        "lake",       "moment",     "scale",
    "loud",       "spring",   "observe",   "child",      "straight",   "consonant",  "nation",
    "dictionary", "milk",     "speed",     "method",     "organ",      "pay",        "age",
    "section",    "dress",    "cloud",     "surprise",   "quiet",      "stone",      "tiny",
    "climb",      "cool",     "design",    "poor",       "lot",        "experiment", "bottom",
    "key",        "iron",     "single",    "stick",      "flat",       "twenty",     "skin",
    "smile",      "crease",   "hole",      "trade",      "melody",     "trip",       "office",
    "receive",    "row",      "mouth",     "exact",      "symbol",     "die",        "least",
    "trouble",    "shout",    "except",    "wrote",      "seed",       "tone",       "join",
    "suggest",    "clean",    "break",     "lady",       "yard",       "rise",       "bad",
    "blow",       "oil",      "blood",     "touch",      "grew",       "cent",       "mix",
    "team",       "wire",     "cost",      "lost",       "brown",      "wear",       "garden",
    "equal",      "sent",     "choose",    "fell",       "fit",        "flow",       "fair",
    "bank",       "collect",  "save",      "control",    "decimal",    "gentle",     "woman",
    "captain",    "practice", "separate",  "difficult",  "doctor",     "please",     "protect",
    "noon",       "whose",    "locate",    "ring",       "character",  "insect",     "caught",
    "period",     "indicate", "radio",     "spoke",      "atom",       "human",      "history",
    "effect",     "electric", "expect",    "crop",       "modern",     "element",    "hit",
    "student",    "corner",   "party",     "supply",     "bone",       "rail",       "imagine",
    "provide",    "agree",    "thus",      "capital",    "chair",      "danger",     "fruit",
    "rich",       "thick",    "soldier",   "process",    "operate",    "guess",      "necessary",
    "sharp",      "wing",     "create",    "neighbor",   "wash",       "bat",        "rather",
    "crowd",      "corn",     "compare",   "poem",       "string",     "bell",       "depend",
    "meat",       "rub",      "tube",      "famous",     "dollar",     "stream",     "fear",
    "sight",      "thin",     "triangle",  "planet",     "hurry",      "chief",      "colony",
    "clock",      "mine",     "tie",       "enter",      "major",      "fresh",      "search",
    "send",       "yellow",   "gun",       "allow",      "print",      "dead",       "spot",
    "desert",     "suit",     "current",   "lift",       "rose",       "continue",   "block",
    "chart",      "hat",      "sell",      "success",    "company",    "subtract",   "event",
    "particular", "deal",     "swim",      "term",       "opposite",   "wife",       "shoe",
    "shoulder",   "spread",   "arrange",   "camp",       "invent",     "cotton",     "born",
    "determine",  "quart",    "nine",      "truck",      "noise",      "level",      "chance",
    "gather",     "shop",     "stretch",   "throw",      "shine",      "property",   "column",
    "molecule",   "select",   "wrong",     "gray",       "repeat",     "require",    "broad",
    "prepare",    "salt",     "nose",      "plural",     "anger",      "claim",      "continent",
    "oxygen",     "sugar",    "death",     "pretty",     "skill",      "women",      "season",
    "solution",   "magnet",   "silver",    "thank",      "branch",     "match",      "suffix",
    "especially", "fig",      "afraid",    "huge",       "sister",     "steel",      "discuss",
    "forward",    "similar",  "guide",     "experience", "score",      "apple",      "bought",
    "led",        "pitch",    "coat",      "mass",       "card",       "band",       "rope",
    "slip",       "win",      "dream",     "evening",    "condition",  "feed",       "tool",
    "total",      "basic",    "smell",     "valley",     "nor",        "double",     "seat",
    "arrive",     "master",   "track",     "parent",     "shore",      "division",   "sheet",
    "substance",  "favor",    "connect",   "post",       "spend",      "chord",      "fat",
    "glad",       "original", "share",     "station",    "dad",        "bread",      "charge",
    "proper",     "bar",      "offer",     "segment",    "slave",      "duck",       "instant",
    "market",     "degree",   "populate",  "chick",      "dear",       "enemy",      "reply",
    "drink",      "occur",    "support",   "speech",     "nature",     "range",      "steam",
    "motion",     "path",     "liquid",    "log",        "meant",      "quotient",   "teeth",
    "shell",      "neck"};
const uint32_t EnglishCount = sizeof English / sizeof English[0];

// English-like prose: skewed word choice, sentences, paragraphs, CRLF lines
// of at most 76 columns, now and then a number or a quoted name.
Bytes MakeEnglish(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    std::string line;
    bool capital = true;
    int sentenceWords = 0;
    while (out.size() < size) {
        std::string word;
        if (rng.Chance(2)) {
            word = std::to_string(rng.Below(2000));
        } else {
            word = English[rng.Skewed(EnglishCount)];
            if (capital || rng.Chance(1))
                word[0] = static_cast<char>(word[0] >= 'a' ? word[0] - 32 : word[0]);
        }
        capital = false;
        ++sentenceWords;
        if (sentenceWords > 4 && rng.Chance(12)) {
            word += rng.Chance(85) ? "." : (rng.Chance(50) ? "?" : "!");
            capital = true;
            sentenceWords = 0;
        } else if (sentenceWords > 2 && rng.Chance(7)) {
            word += rng.Chance(80) ? "," : ";";
        }
        if (line.size() + 1 + word.size() > 76) {
            out += line + "\r\n";
            line.clear();
        }
        if (!line.empty())
            line += ' ';
        line += word;
        if (capital && rng.Chance(15)) {
            out += line + "\r\n\r\n";
            line.clear();
        }
    }
    out.resize(size);
    return out;
}

// Shift_JIS code of the JIS X 0208 character at (row, cell), both from 1.
void PutJis(Bytes& out, int row, int cell) {
    const int j1 = row + 0x20;
    const int j2 = cell + 0x20;
    int s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
    int s2 = (j1 & 1) ? j2 + (j2 <= 0x5F ? 0x1F : 0x20) : j2 + 0x7E;
    out += static_cast<char>(s1);
    out += static_cast<char>(s2);
}

// Japanese-like prose in Shift_JIS (code page 932): words of level-1 kanji
// followed by hiragana endings, katakana loan words, punctuation, CRLF lines.
Bytes MakeJapanese(size_t size, uint64_t seed) {
    Rng rng(seed);
    // A fixed vocabulary of kanji compounds and hiragana endings.
    std::vector<Bytes> stems, endings, loans;
    for (int i = 0; i < 600; ++i) {
        Bytes w;
        const int n = 1 + static_cast<int>(rng.Below(3));
        for (int k = 0; k < n; ++k)
            PutJis(w, 16 + static_cast<int>(rng.Below(31)), 1 + static_cast<int>(rng.Below(94)));
        stems.push_back(w);
    }
    for (int i = 0; i < 60; ++i) {
        Bytes w;
        const int n = 1 + static_cast<int>(rng.Below(3));
        for (int k = 0; k < n; ++k)
            PutJis(w, 4, 1 + static_cast<int>(rng.Below(83)));
        endings.push_back(w);
    }
    for (int i = 0; i < 120; ++i) {
        Bytes w;
        const int n = 2 + static_cast<int>(rng.Below(4));
        for (int k = 0; k < n; ++k)
            PutJis(w, 5, 1 + static_cast<int>(rng.Below(86)));
        loans.push_back(w);
    }
    Bytes out;
    int column = 0;
    while (out.size() < size) {
        Bytes piece = rng.Chance(12) ? loans[rng.Skewed(120)] : stems[rng.Skewed(600)];
        piece += endings[rng.Skewed(60)];
        if (rng.Chance(10))
            PutJis(piece, 1, 2); // 、 (ideographic comma)
        else if (rng.Chance(8))
            PutJis(piece, 1, 3); // 。 (ideographic full stop)
        out += piece;
        column += static_cast<int>(piece.size());
        if (column > 70) {
            out += "\r\n";
            column = 0;
        }
    }
    out.resize(size & ~static_cast<size_t>(1));
    return out;
}

const char* const IdentParts[] = {
    "buffer", "count",  "index", "table",  "node", "list",   "value", "result", "file",   "name",
    "path",   "offset", "size",  "length", "data", "header", "entry", "state",  "window", "code",
    "bits",   "next",   "prev",  "item",   "key",  "hash",   "flag",  "mode",   "error",  "text"};
const char* const Types[] = {"int",   "unsigned", "char*",   "const char*", "size_t",
                             "bool",  "long",     "double",  "uint32_t",    "std::string",
                             "Node*", "Table&",   "uint8_t", "void*",       "Entry*"};

std::string Identifier(Rng& rng, bool type) {
    std::string s = IdentParts[rng.Skewed(30)];
    if (rng.Chance(60)) {
        std::string second = IdentParts[rng.Below(30)];
        second[0] = static_cast<char>(second[0] - 32);
        s += second;
    }
    if (type)
        s[0] = static_cast<char>(s[0] - 32);
    return s;
}

// C++-like source: functions with declarations, loops, conditions, calls,
// comments, four-space indentation, LF lines.
Bytes MakeSource(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    int function = 0;
    while (out.size() < size) {
        const std::string cls = Identifier(rng, true);
        if (rng.Chance(30))
            out += "// " + cls + ": " + English[rng.Skewed(EnglishCount)] + " the " +
                   IdentParts[rng.Below(30)] + " of each " + IdentParts[rng.Below(30)] + ".\n";
        out += std::string(Types[rng.Skewed(15)]) + " " + cls + "::" + Identifier(rng, true) +
               std::to_string(function++ % 7) + "(";
        const int args = static_cast<int>(rng.Below(4));
        for (int a = 0; a < args; ++a)
            out +=
                std::string(a ? ", " : "") + Types[rng.Skewed(15)] + " " + Identifier(rng, false);
        out += ") {\n";
        int depth = 1;
        const int statements = 3 + static_cast<int>(rng.Below(25));
        for (int s = 0; s < statements; ++s) {
            const std::string pad(static_cast<size_t>(4 * depth), ' ');
            const uint32_t kind = rng.Below(10);
            const std::string a = Identifier(rng, false), b = Identifier(rng, false);
            if (kind == 0 && depth < 4) {
                out += pad + "for (int i = 0; i < " + a + "; ++i) {\n";
                ++depth;
            } else if (kind == 1 && depth < 4) {
                out += pad + "if (" + a + " " + (rng.Chance(50) ? "==" : "<") + " " + b + ") {\n";
                ++depth;
            } else if (kind == 2 && depth > 1) {
                --depth;
                out += std::string(static_cast<size_t>(4 * depth), ' ') + "}\n";
            } else if (kind == 3) {
                out += pad + "return " + a + ";\n";
            } else if (kind == 4) {
                out += pad + a + "[" + b + "] = " + std::to_string(rng.Below(256)) + ";\n";
            } else if (kind == 5) {
                out += pad + "// " + English[rng.Skewed(EnglishCount)] + " " +
                       English[rng.Skewed(EnglishCount)] + " " + a + "\n";
            } else {
                out += pad + a + " = " + Identifier(rng, true) + "(" + b + ", " +
                       std::to_string(rng.Skewed(100)) + ");\n";
            }
        }
        while (depth > 0) {
            --depth;
            out += std::string(static_cast<size_t>(4 * depth), ' ') + "}\n";
        }
        out += "\n";
    }
    out.resize(size);
    return out;
}

// Web-server-like log lines with increasing time stamps.
Bytes MakeLog(size_t size, uint64_t seed) {
    Rng rng(seed);
    const char* const methods[] = {"GET", "GET", "GET", "POST", "HEAD", "PUT"};
    const char* const agents[] = {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
                                  "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Gecko/20100101",
                                  "Quillometer/2.1 (update check)", "curl/7.88.1", "Wget/1.21.3"};
    const int statuses[] = {200, 200, 200, 200, 304, 404, 301, 500};
    std::vector<std::string> hosts;
    for (int i = 0; i < 300; ++i)
        hosts.push_back(std::to_string(10 + rng.Below(200)) + "." + std::to_string(rng.Below(256)) +
                        "." + std::to_string(rng.Below(256)) + "." +
                        std::to_string(1 + rng.Below(254)));
    Bytes out;
    uint64_t t = 1700000000;
    char line[512];
    while (out.size() < size) {
        t += rng.Below(3);
        const uint64_t day = t / 86400 % 28 + 1;
        const uint64_t sec = t % 86400;
        const std::string path =
            "/" + std::string(IdentParts[rng.Skewed(30)]) + "/" + IdentParts[rng.Below(30)] +
            (rng.Chance(30) ? ".html" : "?id=" + std::to_string(rng.Below(100000)));
        std::snprintf(line, sizeof line,
                      "%s - - [%02u/Nov/2023:%02u:%02u:%02u +0000] \"%s %s HTTP/1.1\" %d %u \"-\" "
                      "\"%s\"\n",
                      hosts[rng.Skewed(300)].c_str(), static_cast<unsigned>(day),
                      static_cast<unsigned>(sec / 3600), static_cast<unsigned>(sec / 60 % 60),
                      static_cast<unsigned>(sec % 60), methods[rng.Below(6)], path.c_str(),
                      statuses[rng.Below(8)], rng.Below(60000), agents[rng.Skewed(5)]);
        out += line;
    }
    out.resize(size);
    return out;
}

// x86-like machine code: functions made of prologues, register moves, stack
// loads and stores, calls with relative targets, compares and branches,
// epilogues, int3 padding to 16-byte boundaries.
Bytes MakeCode(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    while (out.size() < size) {
        out += "\x55\x8B\xEC"; // push ebp; mov ebp, esp
        if (rng.Chance(60)) {
            out += "\x83\xEC"; // sub esp, imm8
            out += static_cast<char>(4 * (1 + rng.Below(16)));
        }
        const int body = 4 + static_cast<int>(rng.Below(40));
        for (int i = 0; i < body; ++i) {
            switch (rng.Skewed(9)) {
            case 0: // mov reg, [ebp + disp8]
                out += '\x8B';
                out += static_cast<char>(0x45 + 8 * rng.Below(8));
                out += static_cast<char>(rng.Chance(50) ? 8 + 4 * rng.Below(6)
                                                        : -4 * (1 + rng.Below(16)));
                break;
            case 1: // mov [ebp + disp8], reg
                out += '\x89';
                out += static_cast<char>(0x45 + 8 * rng.Below(8));
                out += static_cast<char>(-4 * (1 + rng.Below(16)));
                break;
            case 2: { // call rel32, to one of a few hundred functions
                out += '\xE8';
                const uint32_t target = 0x1000 + 0x40 * rng.Skewed(400);
                Put32(out, target - static_cast<uint32_t>(out.size() + 4));
                break;
            }
            case 3: // mov reg, reg
                out += rng.Chance(50) ? '\x8B' : '\x89';
                out += static_cast<char>(0xC0 + rng.Below(64));
                break;
            case 4: // cmp reg, imm8 ; jcc rel8
                out += "\x83";
                out += static_cast<char>(0xF8 + rng.Below(8));
                out += static_cast<char>(rng.Skewed(32));
                out += static_cast<char>(0x74 + rng.Below(4));
                out += static_cast<char>(rng.Below(64));
                break;
            case 5: // push imm32 (an address in the data section)
                out += '\x68';
                Put32(out, 0x00404000 + 4 * rng.Skewed(2000));
                break;
            case 6: // add/sub/and/or reg, reg
                out += static_cast<char>(0x01 + 8 * rng.Below(6));
                out += static_cast<char>(0xC0 + rng.Below(64));
                break;
            case 7: // lea reg, [ebp + disp8]
                out += '\x8D';
                out += static_cast<char>(0x45 + 8 * rng.Below(8));
                out += static_cast<char>(-4 * (1 + rng.Below(32)));
                break;
            default: // mov eax, imm32
                out += '\xB8';
                Put32(out, rng.Chance(50) ? rng.Below(16) : static_cast<uint32_t>(rng.Next()));
                break;
            }
        }
        out += "\x8B\xE5\x5D"; // mov esp, ebp; pop ebp
        out += rng.Chance(50) ? "\xC3" : "\xC2\x08\x00";
        while (out.size() % 16 != 0)
            out += '\xCC';
    }
    out.resize(size);
    return out;
}

// Tables of integers: fixed-size records with a running id, a random-walk
// value, small flags and a date; then 16-bit samples of a slow integer wave
// with noise; then a sorted index of 32-bit offsets.
Bytes MakeTables(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    uint32_t id = 1000;
    int32_t walk = 0;
    int32_t phase = 0, velocity = 0;
    uint32_t offset = 0;
    while (out.size() < size) {
        const int records = 2000 + static_cast<int>(rng.Below(2000));
        for (int r = 0; r < records; ++r) {
            Put32(out, id++);
            walk += static_cast<int32_t>(rng.Below(201)) - 100;
            Put32(out, static_cast<uint32_t>(walk));
            Put16(out, 1u << rng.Skewed(6));
            Put16(out, 2000 + rng.Below(30));
            Put32(out, rng.Chance(70) ? 0 : rng.Below(100000));
        }
        const int samples = 20000 + static_cast<int>(rng.Below(20000));
        for (int s = 0; s < samples; ++s) {
            velocity += static_cast<int32_t>(rng.Below(9)) - 4 - velocity / 64 - phase / 4096;
            phase += velocity;
            Put16(out, static_cast<uint32_t>(phase + static_cast<int32_t>(rng.Below(16))) & 0xFFFF);
        }
        const int entries = 1000 + static_cast<int>(rng.Below(3000));
        for (int e = 0; e < entries; ++e) {
            offset += 16 + 4 * rng.Skewed(256);
            Put32(out, offset);
        }
    }
    out.resize(size);
    return out;
}

// A resource-file-like mix: blocks of random bytes (data that is already
// compressed), bitmaps with runs, zero padding and UTF-16 string tables.
Bytes MakeResources(size_t size, uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    while (out.size() < size) {
        switch (rng.Below(4)) {
        case 0: { // already compressed or encrypted data
            const uint32_t n = 4096 + rng.Below(60000);
            for (uint32_t i = 0; i < n; i += 8) {
                const uint64_t v = rng.Next();
                for (int k = 0; k < 8; ++k)
                    out += static_cast<char>(v >> (8 * k));
            }
            break;
        }
        case 1: { // 8-bit bitmap: horizontal runs of few colours
            const uint32_t width = 64 * (1 + rng.Below(8));
            const uint32_t height = 32 + rng.Below(200);
            for (uint32_t y = 0; y < height; ++y) {
                uint32_t x = 0;
                while (x < width) {
                    const uint32_t run = 1 + rng.Skewed(40);
                    const char colour = static_cast<char>(rng.Skewed(16));
                    for (uint32_t k = 0; k < run && x < width; ++k, ++x)
                        out += colour;
                }
            }
            break;
        }
        case 2: // padding
            out.append(512 * (1 + rng.Below(16)), '\0');
            break;
        default: { // UTF-16LE string table
            const int strings = 50 + static_cast<int>(rng.Below(200));
            for (int s = 0; s < strings; ++s) {
                std::string text = English[rng.Skewed(EnglishCount)];
                for (int w = static_cast<int>(rng.Below(8)); w > 0; --w)
                    text += std::string(" ") + English[rng.Skewed(EnglishCount)];
                Put16(out, static_cast<uint32_t>(text.size()));
                for (char c : text)
                    Put16(out, static_cast<unsigned char>(c));
            }
            break;
        }
        }
    }
    out.resize(size);
    return out;
}

struct FileRecipe {
    const char* Name;
    int Permille; // share of the corpus
    Bytes (*Make)(size_t, uint64_t);
};

const FileRecipe Files[] = {
    {"prose_en.txt", 170, MakeEnglish},    {"prose_ja.txt", 110, MakeJapanese},
    {"source.cpp", 160, MakeSource},       {"access.log", 140, MakeLog},
    {"code.bin", 150, MakeCode},           {"tables.bin", 120, MakeTables},
    {"resources.bin", 150, MakeResources},
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_corpus DIR [MEGABYTES]\n");
        return 64;
    }
    const long megabytes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 40;
    if (megabytes < 1 || megabytes > 1000) {
        std::fprintf(stderr, "make_corpus: MEGABYTES must be 1 to 1000\n");
        return 64;
    }
    const size_t total = static_cast<size_t>(megabytes) * 1000 * 1000;
    uint64_t seed = 0x51A11E7ull;
    for (const FileRecipe& recipe : Files) {
        const size_t size = total / 1000 * static_cast<size_t>(recipe.Permille);
        const Bytes data = recipe.Make(size, seed++);
        const std::string path = std::string(argv[1]) + "/" + recipe.Name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size() ||
            std::fclose(f) != 0) {
            std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
