#include <gtest/gtest.h>

#include <string>

#include "updater/http.h"

namespace tandrel::updater {
namespace {

TEST(HttpUrl, SplitsHostPortAndPath) {
  auto parts = SplitHttpUrl("http://me:pw@example.org:8080/a/b.def?x=1#f");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, "example.org");
  EXPECT_EQ(parts->port, 8080);
  EXPECT_EQ(parts->path, "a/b.def?x=1#f");

  parts = SplitHttpUrl("http://example.org");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->port, 80);
  EXPECT_EQ(parts->path, "");
  // An "@" or ":" in the path belongs to the path.
  parts = SplitHttpUrl("http://example.org/mail@x:9/p");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, "example.org");
  EXPECT_EQ(parts->port, 80);
  EXPECT_EQ(parts->path, "mail@x:9/p");
  // The port reads like a 16-bit integer: sign and spaces allowed, wraps, stops at junk.
  EXPECT_EQ(SplitHttpUrl("http://h: +81x/")->port, 81);
  EXPECT_EQ(SplitHttpUrl("http://h:70000/")->port, 70000 - 65536);

  EXPECT_FALSE(SplitHttpUrl("example.org/a"));
  EXPECT_FALSE(SplitHttpUrl("http://:80/a"));
  EXPECT_FALSE(SplitHttpUrl("http://u@/a"));
  EXPECT_FALSE(SplitHttpUrl("http://h/a\r\nX: y"));
  EXPECT_FALSE(SplitHttpUrl("http://h/a b"));
}

TEST(HttpRequest, ExactBytesAndWorkBufferBound) {
  EXPECT_EQ(*FormatHttpRequest(*SplitHttpUrl("http://upd.example/Orvane/files/soft/tdl/version.def")),
            "GET /Orvane/files/soft/tdl/version.def HTTP/1.1\r\nAccept: */*\r\n"
            "Host: upd.example\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(*FormatHttpRequest(*SplitHttpUrl("http://upd.example:8080/v")),
            "GET /v HTTP/1.1\r\nAccept: */*\r\nHost: upd.example:8080\r\nConnection: close\r\n\r\n");
  // Path and port suffix together may take 965 bytes.
  HttpUrlParts url{"h", 8080, std::string(965 - 5, 'p')};
  EXPECT_TRUE(FormatHttpRequest(url));
  url.path.push_back('p');
  EXPECT_FALSE(FormatHttpRequest(url));
}

HeadParse Parse(std::string_view data, HttpResponseHead& head) {
  return ParseHttpResponseHead(data, head);
}

TEST(HttpHead, StatusHeadersAndBodyStart) {
  HttpResponseHead head;
  const std::string text =
      "HTTP/1.1 302 Found 200\r\nCONTENT-length:  12 \r\nX-A: 1\nTransfer-Encoding: identity\r\n\r\nbody";
  ASSERT_EQ(Parse(text, head), HeadParse::kComplete);
  EXPECT_EQ(head.status, 302);
  EXPECT_EQ(head.content_length, 12);
  EXPECT_FALSE(head.chunked);
  EXPECT_EQ(text.substr(head.body_start), "body");

  ASSERT_EQ(Parse("HTTP/1.0 404 OK 200\r\ntransfer-encoding: gzip, CHUNKED\n\n", head),
            HeadParse::kComplete);
  EXPECT_EQ(head.status, 404);
  EXPECT_FALSE(IsAcceptedHttpStatus(head.status));
  EXPECT_TRUE(head.chunked);
  EXPECT_EQ(head.content_length, -1);
  EXPECT_TRUE(IsAcceptedHttpStatus(200));
  EXPECT_TRUE(IsAcceptedHttpStatus(302));
  EXPECT_FALSE(IsAcceptedHttpStatus(301));

  // The head ends only at an empty line; a CR at the end may be half of CR LF.
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nA: b\r\n", head), HeadParse::kNeedMore);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK\r\nA: b\r\n\r", head), HeadParse::kNeedMore);
  EXPECT_EQ(Parse("HTT", head), HeadParse::kNeedMore);

  EXPECT_EQ(Parse("<html>\r\n\r\n", head), HeadParse::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 20 OK\r\n\r\n", head), HeadParse::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 2000\r\n\r\n", head), HeadParse::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 200\r\nContent-Length: -1\r\n\r\n", head), HeadParse::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 200\r\nContent-Length: 5x\r\n\r\n", head), HeadParse::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 200\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", head),
            HeadParse::kMalformed);
  ASSERT_EQ(Parse("HTTP/1.1 200\r\nContent-Length: 99999999999999999999\r\n\r\n", head),
            HeadParse::kComplete);
  EXPECT_GT(head.content_length, kHttpBodyLimit);
}

TEST(HttpChunked, SameBodyHoweverTheBlocksFall) {
  const std::string encoded =
      "5;ext=1\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n1\r\n!\r\n0\r\nT: x\r\n\r\nafter";
  const std::string body = "helloabcdefghijklmnopqrstuvwxyz!";
  for (std::size_t block = 1; block <= encoded.size(); ++block) {
    ChunkedBodyDecoder decoder;
    std::string out;
    for (std::size_t at = 0; at < encoded.size(); at += block) {
      decoder.Feed(std::string_view(encoded).substr(at, block), out);
    }
    EXPECT_EQ(decoder.state(), ChunkedBodyDecoder::State::kDone) << "block " << block;
    EXPECT_EQ(out, body) << "block " << block;
  }
  std::string out;
  EXPECT_EQ(ChunkedBodyDecoder().Feed("5\r\nhel", out), ChunkedBodyDecoder::State::kMore);
  EXPECT_EQ(ChunkedBodyDecoder().Feed("x\r\n", out), ChunkedBodyDecoder::State::kMalformed);
  EXPECT_EQ(ChunkedBodyDecoder().Feed("2\r\nabc\r\n", out), ChunkedBodyDecoder::State::kMalformed);
  EXPECT_EQ(ChunkedBodyDecoder().Feed("3B9ACA01\r\n", out), ChunkedBodyDecoder::State::kMalformed);
}

TEST(HttpChunked, EveryByteOfTheBodyCountsTowardItsLimit) {
  // Size lines that never end, by an extension or by leading zeros.
  for (const std::string_view start : {"1;", "0"}) {
    ChunkedBodyDecoder decoder(64);
    std::string out;
    decoder.Feed(start, out);
    for (int i = 0; i < 100 && decoder.state() == ChunkedBodyDecoder::State::kMore; ++i) {
      decoder.Feed(start.substr(start.size() - 1) == ";" ? "x" : "0", out);
    }
    EXPECT_EQ(decoder.state(), ChunkedBodyDecoder::State::kMalformed) << start;
  }
  // Data and framing together: this body takes 63 bytes up to the end of its last size line.
  std::string body;
  for (int i = 0; i < 6; ++i) body += "5\r\nhello\r\n";
  body += "0\r\n\r\n";
  for (const std::int64_t limit : {63, 62}) {
    std::string out;
    EXPECT_EQ(ChunkedBodyDecoder(limit).Feed(body, out),
              limit == 63 ? ChunkedBodyDecoder::State::kDone : ChunkedBodyDecoder::State::kMalformed);
  }
}

}  // namespace
}  // namespace tandrel::updater
