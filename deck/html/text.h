// HTML as a person sees it in a browser: the text of the elements that show, with marks where
// its lines break and where its pictures, sounds and Anki's answer line are. Anki's card sides
// (anki/cardsides.*) and the text inputs' HTML fields (cardtext.h) both read HTML through it.
#pragma once

#include <string>
#include <string_view>

namespace deck::html {

class Stylesheet;

// What a card's HTML is read with beside itself: the note type's stylesheet, whose rules hide
// elements as a style attribute does, and the classes of the <body> the HTML goes in (Anki
// shows a card in <body class="card card1">, which rules like `.card1 .hint` name). The body
// sits in an <html>; both are the outermost ancestors of every element.
struct Styling {
    const Stylesheet* sheet = nullptr;
    std::string_view body_classes;
};

// The marks in SeenText's text: control characters, which never come out of the HTML itself
// (its control characters come out as spaces).
namespace seen {
constexpr char kBreak = '\x01';      // the edge of a block (<div>, <p>, <li>, ...) or a <br>
constexpr char kAnswer = '\x02';     // an element with id="answer": Anki's <hr id=answer>
constexpr char kPicture = '\x03';    // <img>, <svg>, <canvas>, <video>, <object>, <embed>
constexpr char kSound = '\x04';      // <audio>
constexpr char kTypedOpen = '\x05';  // the start of Anki's typed answer, <code id=typeans>
constexpr char kTypedClose = '\x06'; // its end
} // namespace seen

// Appends the text of `html` that a browser shows, with its character references decoded and
// the marks above, to *out. Left out, with everything inside them: <script>, <style>,
// <template>, <head>'s title, comments, buttons and form controls (<button>, <input>,
// <select>, <textarea>), <audio> and <video> (marked), any element hidden by its own `style`
// (display: none, visibility: hidden) or by the `hidden` attribute, what a closed <details>
// holds besides its <summary>, and what the rules of `styling`'s stylesheet hide. Ruby shows as
// base(reading): <ruby>私<rt>わたし</rt></ruby> gives "私(わたし)", without its <rp> fallbacks.
// White space is left as it comes.
//
// Elements open inside more than kMaxHtmlDepth others (deck/base/limits.h) are read as if
// they had no content of their own (their text shows, their end tags close nothing), and the
// result is false: the caller leaves the text out with a warning.
bool SeenText(std::string_view html, std::string* out, const Styling& styling = {});

} // namespace deck::html
