#include "update/UpdateUrl.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ComposeCase
{
    std::string name;
    std::string base;
    std::string key;
    std::string expected;
};

class ComposeKeepsKeyAsTyped : public testing::TestWithParam<ComposeCase>
{
};

TEST_P(ComposeKeepsKeyAsTyped, Text)
{
    const ComposeCase &c = GetParam();
    EXPECT_EQ(UpdateUrl::compose(c.base, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateUrl, ComposeKeepsKeyAsTyped,
    testing::Values(
        ComposeCase{"plain", "http://h/", "abc123", "http://h/abc123"},
        ComposeCase{"spaces kept", "http://h/", " a b ", "http://h/ a b "},
        ComposeCase{"escapes not decoded", "http://h/u?k=", "a%20b", "http://h/u?k=a%20b"},
        ComposeCase{"control characters kept", "http://h/", "k\r\nX: 1", "http://h/k\r\nX: 1"},
        ComposeCase{"empty key", "http://h/", "", "http://h/"},
        ComposeCase{"non-ASCII", "http://h/", "schl\xC3\xBCssel", "http://h/schl\xC3\xBCssel"}),
    paramName<ComposeCase>);

TEST(UpdateUrl, BaseUrlIsTheCompiledIn)
{
    EXPECT_EQ(UpdateUrl::baseUrl(), std::string(TAVRIN_UPDATE_BASE_URL));
    EXPECT_TRUE(UpdateUrl::toRequestUrl(UpdateUrl::baseUrl()).has_value());
}

struct EncodeCase
{
    std::string name;
    std::string key;
    std::string onTheWire; // path and query as encoded
};

class RequestUrlEncodesOnlyWhatMustBe : public testing::TestWithParam<EncodeCase>
{
};

TEST_P(RequestUrlEncodesOnlyWhatMustBe, Target)
{
    const EncodeCase &c = GetParam();
    const std::string stored = UpdateUrl::compose("http://dyn.example.org/", c.key);
    const auto url = UpdateUrl::toRequestUrl(stored);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->host, "dyn.example.org");
    EXPECT_EQ(url->target, c.onTheWire);
    EXPECT_EQ(url->url, "http://dyn.example.org" + c.onTheWire);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateUrl, RequestUrlEncodesOnlyWhatMustBe,
    testing::Values(EncodeCase{"plain", "abc123", "/abc123"}, EncodeCase{"space", "a b", "/a%20b"},
                    EncodeCase{"trailing space", "key ", "/key%20"},
                    EncodeCase{"slashes", "dir/sub/key", "/dir/sub/key"},
                    EncodeCase{"query", "u?host=x&pw=y", "/u?host=x&pw=y"},
                    EncodeCase{"CR LF", "k\r\nX-Injected: 1", "/k%0D%0AX-Injected:%201"},
                    EncodeCase{"NUL", std::string("a\0b", 3), "/a%00b"},
                    EncodeCase{"tab and DEL", "a\tb\x7f", "/a%09b%7F"},
                    EncodeCase{"non-ASCII as UTF-8", "\xC3\xA4", "/%C3%A4"},
                    EncodeCase{"valid escape kept", "a%20b", "/a%20b"},
                    EncodeCase{"stray percent", "50%off", "/50%25off"},
                    EncodeCase{"characters a URL cannot hold", "\"<>\\^`{|}",
                               "/%22%3C%3E%5C%5E%60%7B%7C%7D"},
                    EncodeCase{"sub-delimiters kept", "!$&'()*+,;=:@", "/!$&'()*+,;=:@"},
                    EncodeCase{"fragment not sent", "key#part", "/key"},
                    // Each '%' is judged alone: one stray '%' leaves the other escapes as typed.
                    EncodeCase{"stray percent beside escapes", "a%41%zz%2f%", "/a%41%25zz%2f%25"},
                    EncodeCase{"brackets and query marks kept", "a[]?b=[c]?d", "/a[]?b=[c]?d"},
                    EncodeCase{"at sign in the key stays in the path", "user@other.host/k",
                               "/user@other.host/k"}),
    paramName<EncodeCase>);

struct AcceptCase
{
    std::string name;
    std::string text;
    bool accepted;
};

class RequestUrlRefusesNonHttpText : public testing::TestWithParam<AcceptCase>
{
};

TEST_P(RequestUrlRefusesNonHttpText, Accepted)
{
    const AcceptCase &c = GetParam();
    EXPECT_EQ(UpdateUrl::toRequestUrl(c.text).has_value(), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateUrl, RequestUrlRefusesNonHttpText,
    testing::Values(
        AcceptCase{"http", "http://h/k", true},
        AcceptCase{"https with port", "https://h:8443/k", true},
        AcceptCase{"upper-case scheme", "HTTP://h/k", true},
        AcceptCase{"IPv6 host", "http://[::1]:8080/k", true}, AcceptCase{"empty", "", false},
        AcceptCase{"no scheme", "dyn.example.org/k", false},
        AcceptCase{"scheme-relative", "//h/k", false}, AcceptCase{"no host", "http:///k", false},
        AcceptCase{"scheme only", "http://", false}, AcceptCase{"ftp", "ftp://h/k", false},
        AcceptCase{"file", "file:///etc/passwd", false}, AcceptCase{"mailto", "mailto:a@h", false},
        AcceptCase{"prose", "not a url", false},
        AcceptCase{"space in host", "http://h st/k", false},
        AcceptCase{"CR LF in host", "http://h\r\nX: 1/k", false},
        AcceptCase{"leading space", " http://h/k", false},
        AcceptCase{"one slash", "http:/h/k", false},
        AcceptCase{"port too large", "http://h:65536/k", false},
        AcceptCase{"port not a number", "http://h:8a/k", false},
        AcceptCase{"two at signs", "http://a@b@h/k", false},
        AcceptCase{"empty label", "http://h..example/k", false},
        AcceptCase{"label starting with a dash", "http://-h/k", false},
        AcceptCase{"percent in host", "http://h%41/k", false},
        AcceptCase{"non-ASCII host", "http://h\xC3\xA9.de/k", false},
        AcceptCase{"short IPv4 spelling", "http://127.1/k", false},
        AcceptCase{"hexadecimal IPv4", "http://0x7f.0.0.1/k", false},
        AcceptCase{"IPv6 zone", "http://[fe80::1%25eth0]/k", false},
        AcceptCase{"IPv6 with two gaps", "http://[1::2::3]/k", false},
        AcceptCase{"text after the IPv6 address", "http://[::1]x/k", false}),
    paramName<AcceptCase>);

// Host and port as they go out: the host in lower case, an IPv6 address in its
// canonical form, a port as a number.
struct AuthorityCase
{
    std::string name;
    std::string text;
    std::string host;
    int port;
    std::string url;
};

class RequestUrlAuthority : public testing::TestWithParam<AuthorityCase>
{
};

TEST_P(RequestUrlAuthority, HostPortAndUrl)
{
    const AuthorityCase &c = GetParam();
    const auto url = UpdateUrl::toRequestUrl(c.text);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->host, c.host);
    EXPECT_EQ(url->port, c.port);
    EXPECT_EQ(url->url, c.url);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateUrl, RequestUrlAuthority,
    testing::Values(
        AuthorityCase{"host lower-cased", "HTTPS://Dyn.Example.ORG/K", "dyn.example.org", -1,
                      "https://dyn.example.org/K"},
        AuthorityCase{"default port kept", "http://h:0080/k", "h", 80, "http://h:80/k"},
        AuthorityCase{"empty port", "http://h:/k", "h", -1, "http://h/k"},
        AuthorityCase{"no path", "http://h", "h", -1, "http://h/"},
        AuthorityCase{"query without path", "http://h?q=1", "h", -1, "http://h/?q=1"},
        AuthorityCase{"user info dropped", "http://u:p@h:81/k", "h", 81, "http://h:81/k"},
        AuthorityCase{"underscore and trailing dot", "http://my_host.example./k",
                      "my_host.example.", -1, "http://my_host.example./k"},
        AuthorityCase{"IPv4", "http://192.0.2.1:8080/k", "192.0.2.1", 8080,
                      "http://192.0.2.1:8080/k"},
        AuthorityCase{"numbers that are no address", "http://256.1.1.1/k", "256.1.1.1", -1,
                      "http://256.1.1.1/k"},
        AuthorityCase{"IPv6 zeros compressed", "http://[0:0::1]/k", "::1", -1, "http://[::1]/k"},
        AuthorityCase{"IPv6 longest zero run", "http://[1:0:0:2:0:0:0:3]/k", "1:0:0:2::3", -1,
                      "http://[1:0:0:2::3]/k"},
        AuthorityCase{"IPv6 first of equal runs", "http://[1:0:0:2:0:0:3:4]/k", "1::2:0:0:3:4", -1,
                      "http://[1::2:0:0:3:4]/k"},
        AuthorityCase{"IPv6 single zero kept", "http://[1:2:3:4:5:6:7::]/k", "1:2:3:4:5:6:7:0", -1,
                      "http://[1:2:3:4:5:6:7:0]/k"},
        AuthorityCase{"IPv6 upper case and leading zeros", "http://[00AB:CD::]/k", "ab:cd::", -1,
                      "http://[ab:cd::]/k"},
        AuthorityCase{"IPv4-mapped IPv6", "http://[::FFFF:102:304]/k", "::ffff:1.2.3.4", -1,
                      "http://[::ffff:1.2.3.4]/k"},
        AuthorityCase{"IPv6 ending in IPv4", "http://[1:2:3:4:5:6:1.2.3.4]/k",
                      "1:2:3:4:5:6:102:304", -1, "http://[1:2:3:4:5:6:102:304]/k"}),
    paramName<AuthorityCase>);

struct RedactCase
{
    std::string name;
    std::string text;
    std::string expected;
};

class RedactedKeepsSchemeHostPortOnly : public testing::TestWithParam<RedactCase>
{
};

TEST_P(RedactedKeepsSchemeHostPortOnly, Text)
{
    const RedactCase &c = GetParam();
    EXPECT_EQ(UpdateUrl::redacted(UpdateUrl::toRequestUrl(c.text)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateUrl, RedactedKeepsSchemeHostPortOnly,
    testing::Values(RedactCase{"path", "http://dyn.example.org/secret", "http://dyn.example.org"},
                    RedactCase{"port", "https://h:8443/secret", "https://h:8443"},
                    RedactCase{"query and fragment", "http://h/u?pw=secret#secret", "http://h"},
                    RedactCase{"user info", "http://secret:secret@h/secret", "http://h"},
                    RedactCase{"IPv6", "http://[::1]:81/secret", "http://[::1]:81"},
                    RedactCase{"encoded key", "http://h/a secret\r\n", "http://h"},
                    RedactCase{"not a URL", "secret/secret", "(no valid URL)"}),
    paramName<RedactCase>);

} // namespace
