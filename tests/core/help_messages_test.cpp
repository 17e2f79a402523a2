#include "core/help_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> paragraphs(const std::string& body) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = body.find("\r\n\r\n", start);
        out.push_back(body.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) return out;
        start = p + 4;
    }
}

}  // namespace

TEST(HelpMessages, ThirteenNumbersHaveAMessageAndNoOtherDoes) {
    std::vector<int> present;
    for (int n = -2; n <= 20; ++n)
        if (lv::find_help_message(n)) present.push_back(n);
    EXPECT_EQ(present, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14}));
}

TEST(HelpMessages, TitlesAndBodiesKeepTheirExactWording) {
    auto m1 = lv::find_help_message(1);
    ASSERT_TRUE(m1);
    EXPECT_EQ(m1->title, "Welcome To Lumivane!");
    auto p1 = paragraphs(m1->body);
    ASSERT_EQ(p1.size(), 9u);
    EXPECT_EQ(p1[0], "Thank you for taking the time to preview Lumivane.");
    // The text runs on across source lines; a trailing blank stays.
    EXPECT_EQ(p1[1],
              "This is the main configuration screen where you can change your screen saver options "
              "or create and view previously saved slideshows. ");
    EXPECT_NE(p1[6].find("make a presenation. The custom"), std::string::npos);

    auto m9 = lv::find_help_message(9);
    ASSERT_TRUE(m9);
    EXPECT_EQ(m9->title, "Adding Background Music");
    EXPECT_EQ(paragraphs(m9->body)[0],
              "Lumivane makes it easy to add backgound music to your slideshow.Several popular "
              "formats of audio can be played with Lumivane.");

    auto m7 = lv::find_help_message(7);
    ASSERT_TRUE(m7);
    EXPECT_EQ(paragraphs(m7->body).size(), 1u);
    EXPECT_EQ(m7->body.find('\n'), std::string::npos);

    auto m11 = lv::find_help_message(11);
    ASSERT_TRUE(m11);
    auto p11 = paragraphs(m11->body);
    ASSERT_EQ(p11.size(), 5u);
    EXPECT_EQ(p11[3], lv::support_email_address);
    EXPECT_EQ(p11[4], "Thank You.");

    EXPECT_EQ(lv::find_help_message(13)->title, "The Custom Editor Preview Window");
    EXPECT_EQ(lv::find_help_message(14)->title, "Image Rendering");
    EXPECT_EQ(lv::find_help_message(3)->title, "256 Color Mode Detected");
    EXPECT_EQ(lv::find_help_message(4)->title, "16-bit Color Mode Detected");
}

TEST(HelpMessages, FourBodiesEndWithOneMoreParagraphBreak) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14}) {
        const std::string body = lv::find_help_message(n)->body;
        bool ends_with_break = body.size() >= 4 && body.compare(body.size() - 4, 4, "\r\n\r\n") == 0;
        bool expected = (n == 4 || n == 5 || n == 9);
        EXPECT_EQ(ends_with_break, expected) << "message " << n;
        EXPECT_EQ(body.find("\r\n\r\n\r\n"), std::string::npos) << "message " << n;
    }
}

TEST(HelpMessages, OnlyThreeFourAndFourteenCanNeverBeSuppressed) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14})
        EXPECT_EQ(lv::find_help_message(n)->check_always_hidden, n == 3 || n == 4 || n == 14) << n;
}

TEST(HelpMessages, SuppressionKeyAndStoredValues) {
    EXPECT_EQ(lv::message_setting_key(1), "Message1");
    EXPECT_EQ(lv::message_setting_key(14), "Message14");
    EXPECT_FALSE(lv::message_suppressed("0"));
    EXPECT_FALSE(lv::message_suppressed(""));
    EXPECT_FALSE(lv::message_suppressed("no"));
    EXPECT_TRUE(lv::message_suppressed(lv::message_suppressed_value));
    EXPECT_TRUE(lv::message_suppressed("2"));
    EXPECT_TRUE(lv::message_suppressed("-1"));
}

TEST(HelpMessagesWrap, BreaksAtTheFirstSpaceAfterColumnNinety) {
    // The blank at column 90 is not past 90; the next one (column 93) is.
    std::string text = std::string(89, 'x') + " yy zz";
    EXPECT_EQ(lv::wrap_for_print(text), std::string(89, 'x') + " yy \r\nzz");

    // A word running far past column 90 is never split.
    std::string long_word(150, 'w');
    EXPECT_EQ(lv::wrap_for_print(long_word + " a b"), long_word + " \r\na b");

    // Short text is untouched.
    EXPECT_EQ(lv::wrap_for_print("short text here"), "short text here");
    EXPECT_EQ(lv::wrap_for_print(""), "");
}

TEST(HelpMessagesWrap, LineFeedRestartsTheCount) {
    std::string a(60, 'a'), b(60, 'b');
    // Without the line break the blank after b would be at column 122.
    EXPECT_EQ(lv::wrap_for_print(a + "\r\n\r\n" + b + " c"), a + "\r\n\r\n" + b + " c");
    EXPECT_EQ(lv::wrap_for_print(a + " " + b + " c"), a + " " + b + " \r\nc");
}

TEST(HelpMessagesWrap, EveryLineOfARealBodyStaysNearColumnNinety) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14}) {
        std::string wrapped = lv::wrap_for_print(lv::find_help_message(n)->body);
        std::string unwrapped;
        std::size_t line_start = 0;
        for (std::size_t i = 0; i <= wrapped.size(); ++i) {
            if (i == wrapped.size() || wrapped[i] == '\n') {
                std::string line = wrapped.substr(line_start, i - line_start);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                // A line ends at the first blank after 90, so it is at most
                // 90 characters plus the rest of one word and its blank.
                EXPECT_LE(line.size(), 110u) << "message " << n << ": " << line;
                line_start = i + 1;
            }
        }
        // Wrapping only ever adds line breaks: without them both texts agree.
        auto no_breaks = [](const std::string& s) {
            std::string out;
            for (char c : s)
                if (c != '\r' && c != '\n') out += c;
            return out;
        };
        EXPECT_GT(wrapped.size(), lv::find_help_message(n)->body.size() - 1) << n;
        EXPECT_EQ(no_breaks(wrapped), no_breaks(lv::find_help_message(n)->body)) << "message " << n;
    }
}

TEST(HelpMessagesPrintout, LinesComeInTheirFixedOrderAndSizes) {
    lv::help_message m;
    m.title = "A Title";
    m.body = std::string(95, 'x') + " tail\r\n\r\nSecond";
    lv::wall_time t{2024, 3, 7, 9, 5, 2};
    auto lines = lv::message_printout(m, t);
    std::vector<std::string> texts;
    std::vector<int> sizes;
    for (auto& l : lines) {
        texts.push_back(l.text);
        sizes.push_back(l.font_size);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "", "Lumivane     03-07-2024     09:05:02", " ", " ", "A Title", " ",
                         std::string(95, 'x') + " ", "tail", "", "Second", " ", " ",
                         lv::maker_web_address, lv::support_email_address}));
    EXPECT_EQ(sizes, (std::vector<int>{10, 10, 10, 10, 20, 10, 10, 10, 10, 10, 10, 10, 10, 10}));
}

TEST(HelpMessagesPrintout, BodyWithTrailingBreakEndsInEmptyLines) {
    auto m = *lv::find_help_message(4);
    auto lines = lv::message_printout(m, {});
    ASSERT_GE(lines.size(), 6u);
    // body ends "...rendering.\r\n\r\n": two empty lines follow the last text line
    std::size_t web = lines.size() - 2;
    EXPECT_EQ(lines[web - 1].text, " ");
    EXPECT_EQ(lines[web - 2].text, " ");
    EXPECT_EQ(lines[web - 3].text, "");
    EXPECT_EQ(lines[web - 4].text, "");
}
