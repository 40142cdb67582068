// What the operator reads of a series: the console's line on each photograph, and the
// report, a page of the results with their thumbnails, its words escaped.
#include "tools/series/series.h"

#include "tools/common/point_argument.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace series {

std::string line(Series const& s, std::size_t k)
{
    Photo const& p = s.photos[k];
    std::string text = "[" + std::to_string(k + 1) + "/" + std::to_string(s.photos.size()) + "] " +
                       p.shown + " : ";
    std::string const leftOut = p.leftOut.empty() ? ""
                                                  : " (laiss\xE9"
                                                    "e hors du choix de A et B : " +
                                                        p.leftOut + ")";
    if (!p.refusal.empty())
        return text +
               "refus\xE9"
               "e, " +
               p.refusal + leftOut + "\n";
    if (k == 0)
        text += "base, points A " + s.a + " et B " + s.b;
    else
        text += std::string(p.given ? "points donn\xE9s"
                                    : "trouv\xE9"
                                      "e") +
                ", tourn\xE9"
                "e " +
                french(p.turn, 1) +
                "\xB0, \xE9"
                "chelle " +
                french(p.scale, 2) +
                " - \xE9"
                "cart moyen " +
                french(p.mean, 1) + (p.fresh ? "" : " (d\xE9j\xE0 fait)");
    if (!p.notes.empty())
        text += " (" + joined(p.notes, ", ") + ")";
    return text + leftOut + "\n";
}

namespace {

std::string html(std::string const& text)
{
    std::string out;
    for (char c : text)
        out += c == '&'   ? "&amp;"
               : c == '<' ? "&lt;"
               : c == '>' ? "&gt;"
               : c == '"' ? "&quot;"
                          : std::string(1, c);
    return out;
}

// Windows-1252 words made UTF-8, as the page's bytes are: each byte above 127 is the
// Latin-1 character of that code in these French texts.
std::string utf8(std::string const& words)
{
    std::string out;
    for (unsigned char c : words)
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// A link to a file of a folder of Redressement (rapport, png), its name percent-encoded.
std::string href(fs::path const& p)
{
    std::string const name = p.filename().u8string();
    std::string out = p.parent_path().filename().u8string() + "/";
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::strchr("-._~", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string image(fs::path const& p, std::string const& alt)
{
    return "<img src=\"" + href(p) + "\" alt=\"" + html(alt) + "\">";
}

// The thumbnail, a link to the full-size PNG.
std::string linked(fs::path const& png, fs::path const& p, std::string const& alt)
{
    return "<a href=\"" + href(png) + "\">" + image(p, alt) + "</a>";
}

}  // namespace

void writeReport(Series const& s, fs::path const& path, double seconds)
{
    Photo const& base = s.photos[0];
    std::size_t done = 0, refused = 0;
    for (std::size_t k = 1; k < s.photos.size(); ++k)
        (s.photos[k].done ? done : refused) += 1;
    std::string t =
        "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Redressement : " +
        html(base.shown) +
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:1.5em;color:#222}\n"
        "table{border-collapse:collapse}td,th{border:1px solid "
        "#ccc;padding:.4em;vertical-align:top}\n"
        "img{max-width:240px;max-height:240px;display:block}\n.refus{background:#fee}\n"
        "</style>\n</head>\n<body>\n<h1>Redressement de la s&eacute;rie</h1>\n<p>Base : <b>" +
        html(base.shown) + "</b>, points A " + html(s.a) + " et B " + html(s.b) + ". " +
        std::to_string(done) + " photographie(s) redress&eacute;e(s), " + std::to_string(refused) +
        " refus&eacute;e(s), en " + french(seconds, 1) + " s.</p>\n" +
        linked(viewable(s, base), thumbnail(s, base, "avant"), base.shown) +
        "\n<table>\n<tr><th>Photographie</th><th>Avant</th><th>Apr&egrave;s</th>"
        "<th>&Eacute;carts</th><th>Points et mesures</th></tr>\n";
    for (std::size_t k = 1; k < s.photos.size(); ++k) {
        Photo const& p = s.photos[k];
        std::string const notes =
            (p.notes.empty() ? "" : "<br>" + html(utf8(joined(p.notes, ", ")))) +
            (p.leftOut.empty()
                 ? ""
                 : "<br>Laiss&eacute;e hors du choix de A et B : " + html(utf8(p.leftOut)));
        if (!p.done) {
            t += "<tr class=\"refus\"><td>" + html(p.shown) + notes +
                 "</td><td colspan=\"4\">Refus&eacute;e : " + html(utf8(p.refusal)) +
                 (p.advice.empty() ? "" : ".<br>Que faire : " + html(utf8(p.advice))) +
                 ".</td></tr>\n";
            continue;
        }
        t += "<tr><td>" + html(p.shown) + notes + "</td><td>" +
             image(thumbnail(s, p, "avant"), "avant") + "</td><td>" +
             linked(viewable(s, p), thumbnail(s, p, "apres"), "apr\xC3\xA8s") + "</td><td>" +
             image(thumbnail(s, p, "ecart"), "\xC3\xA9"
                                             "carts") +
             "</td><td>A' " + html(p.aPrime) + "<br>B' " + html(p.bPrime) +
             (p.likely.empty() ? "" : "<br>Erreur probable : " + html(p.likely)) +
             "<br>tourn&eacute;e de " + french(p.turn, 1) +
             "&deg; (sens horaire positif)<br>&eacute;chelle " + french(p.scale, 3) +
             "<br>&eacute;cart moyen " + french(p.mean, 2) + " niveaux de gris<br>" +
             french(p.within, 1) + " % des pixels &agrave; 8 niveaux pr&egrave;s" +
             (p.given ? "<br>points donn&eacute;s" : "") + "</td></tr>\n";
    }
    t += "</table>\n<p>Les r&eacute;sultats sont dans ce dossier en PGM, et dans png en PNG "
         "(cliquez sur une image pour l'ouvrir en grand) ; les copies P5 et reponses.txt dans "
         "pgm, les cartes des &eacute;carts dans ecarts.</p>\n</body>\n</html>\n";
    if (!writeBytes(path, t.data(), t.size()))
        throw Stop{"Impossible d'\xE9"
                   "crire le rapport " +
                   path.u8string() + " : " + systemError(errno)};
}

}  // namespace series