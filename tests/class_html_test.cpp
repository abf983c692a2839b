// index.html of a class run from hand-made rows: hostile paths escaped in text and in links, one
// row per submission and a link only for graded ones, ten labelled bars scaled to the fullest band.
#include "render/class_html.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/gradebook.h"
#include "render/html_writer.h"
#include "tests/written_text.h"

namespace {

std::string page_of(const class_page& page) {
  return written([&](text_out& out) { put_class_html(out, page); });
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

submission_row row(std::string path, std::int64_t right, submission_state state) {
  submission_row r;
  r.path = std::move(path);
  r.state = state;
  r.right = right;
  r.all = 12;
  r.score = right * 100 / 12;
  return r;
}

// What a class page is drawn from: the rows, their totals and their page names.
struct class_fixture {
  std::vector<submission_row> rows;
  std::vector<std::string> names;
  class_totals totals;
  std::string html;

  explicit class_fixture(std::vector<submission_row> given) : rows(std::move(given)) {
    std::vector<std::string> paths;
    for (const submission_row& r : rows) paths.push_back(r.path);
    names = page_names_for(paths);
    totals = totals_of(rows);
    html = page_of({"in<put>.txt", "grades.csv", totals, rows, names});
  }
};

TEST(class_html, hostile_paths_are_escaped_in_text_and_links) {
  const class_fixture page({
      row("a/<script>alert(1)</script>.txt", 12, submission_state::graded),
      row("b/\"quote'&amp.txt", 6, submission_state::graded),
      row("c/sp ace#frag?q=1%.txt", 0, submission_state::graded),
      row(std::string("d/bad\xff\x01\x1b[31m.txt", 16), 0, submission_state::graded),
      row("javascript:alert(1)", 3, submission_state::graded),
  });
  const std::string& html = page.html;
  EXPECT_EQ(count_of(html, "<script"), 0U);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;.txt</a>"), std::string::npos);
  // The page is named after the last component, which here begins inside the tag.
  EXPECT_NE(html.find("href=\"script%3E.txt.html\""), std::string::npos);
  EXPECT_NE(html.find("b/&quot;quote&#39;&amp;amp.txt</a>"), std::string::npos);
  EXPECT_NE(html.find("href=\"%22quote%27%26amp.txt.html\""), std::string::npos);
  EXPECT_NE(html.find("href=\"sp%20ace%23frag%3Fq%3D1%25.txt.html\""), std::string::npos);
  EXPECT_NE(html.find("d/bad&#xFFFD;&#xFFFD;&#xFFFD;[31m.txt</a>"), std::string::npos);
  EXPECT_NE(html.find("href=\"bad%FF%01%1B%5B31m.txt.html\""), std::string::npos);
  // A colon would make the link a scheme; encoded, it stays a file beside the page.
  EXPECT_NE(html.find("href=\"javascript%3Aalert%281%29.html\""), std::string::npos);
  EXPECT_NE(html.find("<title>Class: in&lt;put&gt;.txt</title>"), std::string::npos);
  // No raw control byte or invalid UTF-8 reaches the page, and it loads and runs nothing.
  EXPECT_EQ(html.find_first_of(std::string("\xff\x01\x1b", 3)), std::string::npos);
  EXPECT_NE(html.find(content_security_policy), std::string::npos);
}

// The roster's students without a grade and downloads astray end the page, escaped like paths.
TEST(class_html, roster_notes_end_the_page_escaped) {
  const std::vector<submission_row> rows{row("a.txt", 12, submission_state::graded)};
  const std::vector<std::string> names{"a.txt.html"};
  const std::vector<std::string> notes{"Lee, Amy (ID 1): no submission",
                                       "x/<b>_1_2_f.txt: not matched: no student has ID 1\x1b"};
  const std::string html = written([&](text_out& out) {
    put_class_html(out, {"in.txt", "grades.csv", totals_of(rows), rows, names},
                   {"Canvas r.csv: 0 of 1 students graded", notes});
  });
  EXPECT_NE(html.find("<h2>Roster</h2><p>Canvas r.csv: 0 of 1 students graded</p>"),
            std::string::npos);
  EXPECT_NE(html.find("<li>Lee, Amy (ID 1): no submission</li>"), std::string::npos);
  EXPECT_NE(html.find("<li>x/&lt;b&gt;_1_2_f.txt: not matched: no student has ID 1&#xFFFD;</li>"),
            std::string::npos);
  EXPECT_LT(html.find("<h2>Roster</h2>"), html.find("</main>"));
}

TEST(class_html, one_row_per_submission_and_links_only_to_graded_ones) {
  const class_fixture page({
      row("class/alice.txt", 12, submission_state::graded),
      row("class/dave.txt", 0, submission_state::open_failed),
      row("late/alice.txt", 9, submission_state::graded),
      row("/proc/self/mem", 0, submission_state::read_failed),
      row("index", 6, submission_state::graded),
  });
  const std::string& html = page.html;
  EXPECT_EQ(count_of(html, "<tr class=\"graded\">"), 3U);
  EXPECT_EQ(count_of(html, "<tr class=\"failed\">"), 2U);
  EXPECT_EQ(count_of(html, "<a href="), 3U);
  EXPECT_NE(html.find("<a href=\"alice.txt.html\">class/alice.txt</a>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"alice.txt-2.html\">late/alice.txt</a>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"index-2.html\">index</a>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"path\">class/dave.txt</td><td class=\"number\">-</td>"
                      "<td class=\"number\">-</td><td class=\"state\">open failed</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<dd>3 of 5 submissions</dd>"), std::string::npos);
  // Rows keep submission order.
  EXPECT_LT(html.find("class/alice.txt"), html.find("class/dave.txt"));
  EXPECT_LT(html.find("class/dave.txt"), html.find("late/alice.txt"));
}

TEST(class_html, ten_labelled_bars_scaled_to_the_fullest_band) {
  const class_fixture page({
      row("a", 12, submission_state::graded),  // 100: band 90-100
      row("b", 12, submission_state::graded), row("c", 6, submission_state::graded),  // 50
      row("d", 0, submission_state::graded),                                          // 0
  });
  const std::string& html = page.html;
  EXPECT_EQ(count_of(html, "<svg class=\"histogram\""), 1U);  // beside the mistakes and grid charts
  EXPECT_EQ(count_of(html, "<rect class=\"bar\""), 10U);
  struct band_case {
    std::string label;
    std::string bar;  // the bar's top and height: 140 units for the fullest band
    std::string count;
  };
  const band_case bands[] = {
      {">0-9<", "y=\"92\" width=\"38\" height=\"70\"", ">1<"},
      {">50-59<", "y=\"92\" width=\"38\" height=\"70\"", ">1<"},
      {">90-100<", "y=\"22\" width=\"38\" height=\"140\"", ">2<"},
      {">40-49<", "y=\"162\" width=\"38\" height=\"0\"", ">0<"},
  };
  for (const band_case& band : bands) {
    EXPECT_NE(html.find(band.label), std::string::npos) << band.label;
    EXPECT_NE(html.find(band.bar), std::string::npos) << band.label;
  }
  EXPECT_EQ(count_of(html, "height=\"0\""), 7U);
  EXPECT_NE(html.find("<dd>62.5</dd>"), std::string::npos);  // the mean of 100, 100, 50, 0
}

TEST(class_html, a_class_with_nothing_graded_shows_dashes_and_empty_bars) {
  const class_fixture page({row("gone.txt", 0, submission_state::open_failed)});
  const std::string& html = page.html;
  EXPECT_EQ(count_of(html, "<rect class=\"bar\""), 10U);
  EXPECT_EQ(count_of(html, "height=\"0\""), 10U);
  EXPECT_EQ(count_of(html, "<dd>-</dd>"), 4U);
  EXPECT_EQ(count_of(html, "<a href="), 0U);
  EXPECT_NE(html.find("0/0</td><td class=\"number\">-</td>"), std::string::npos);
}

TEST(class_html, strategy_bars_are_as_wide_as_their_share) {
  submission_row r = row("a", 5, submission_state::graded);
  r.strategy_right = {3, 2, 0};
  r.strategy_lines = {4, 3, 4};
  const class_fixture page({r});
  EXPECT_NE(page.html.find("style=\"width:75.0%\"></span></span></td><td class=\"number\">3/4"),
            std::string::npos);
  EXPECT_NE(page.html.find("width:66.7%"), std::string::npos);
  EXPECT_NE(page.html.find("width:0.0%"), std::string::npos);
}

TEST(url_segment, every_byte_but_the_unreserved_is_percent_encoded) {
  const std::pair<std::string, std::string> cases[] = {
      {"alice.txt.html", "alice.txt.html"},
      {"A-Z_a~z.0", "A-Z_a~z.0"},
      {"a b/c", "a%20b%2Fc"},
      {"%", "%25"},
      {std::string("\0\x7f\x80", 3), "%00%7F%80"},
      {"\xc3\xa9", "%C3%A9"},
      {"", ""},
  };
  for (const auto& [name, want] : cases) {
    std::string got;
    append_url_segment(got, name);
    EXPECT_EQ(got, want) << name;
  }
}

}  // namespace
