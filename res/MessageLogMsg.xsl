<?xml version="1.0" encoding="UTF-8"?>
<!--
  Shows a messages backup (短信.xml) as a page: one conversation per number,
  under the name of the contact in the contacts backup beside it that holds
  the number, each message dated and marked as received or sent, in the
  file's time order. Numbers are grouped with a key on the text after the label's
  full-width colon. Works in any XSLT 1.0 processor (libxslt, browsers).
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="yes"
              doctype-system="about:legacy-compat"/>

  <xsl:key name="by-number" match="/CONTACTS/VCARD" use="substring-after(@CONTACTS, '：')"/>

  <!-- The contacts backup beside this file, when there is one: each
       telephone of a contact by its number as the phone compares numbers
       (without spaces, dashes, brackets and a +86 or 0086 prefix). The
       name is escaped as a URI must be (通讯录.xml). -->
  <xsl:variable name="contacts"
                select="document('%E9%80%9A%E8%AE%AF%E5%BD%95.xml', /)"/>
  <xsl:key name="by-phone"
           match="VCARD/ADDRESS/*[self::WORK1 or self::MOBILE or self::HOME1 or
                                  self::WORK2 or self::HOME2 or self::COMPANY or
                                  self::PAGER or self::CAR or self::ASSIT or self::RADIO]"
           use="concat(substring(substring(translate(., ' -()', ''), 4), 1, 99 * starts-with(translate(., ' -()', ''), '+86')), substring(substring(translate(., ' -()', ''), 5), 1, 99 * starts-with(translate(., ' -()', ''), '0086')), substring(translate(., ' -()', ''), 1, 99 * not(starts-with(translate(., ' -()', ''), '+86') or starts-with(translate(., ' -()', ''), '0086'))))"/>

  <xsl:template match="/">
    <html lang="zh-CN">
      <head>
        <meta charset="UTF-8"/>
        <title>短信备份</title>
        <style>
          body { font-family: "WenQuanYi Zen Hei", "Noto Sans CJK SC", sans-serif, "Noto Color Emoji"; margin: 1.5em; color: #1b2733; max-width: 52em; }
          h1 { font-size: 1.4em; margin: 0 0 .2em 0; }
          p.count { color: #56677a; margin: 0 0 1em 0; }
          section.conversation { border: 1px solid #c9d3de; border-radius: 6px; margin: 0 0 1.2em 0; padding: .6em .8em; page-break-inside: avoid; }
          h2 { font-size: 1.1em; margin: 0 0 .5em 0; color: #1f4f82; }
          h2 span.n, h2 span.num { color: #7a8896; font-weight: normal; font-size: .85em; }
          div.msg { margin: .35em 0; padding: .4em .6em; border-radius: 6px; max-width: 80%; }
          div.in { background: #eef2f6; }
          div.out { background: #d8ecff; margin-left: auto; }
          div.when { font-size: .8em; color: #56677a; }
          div.text { white-space: pre-wrap; }
          @media print { div.in, div.out { background: none; border: 1px solid #bbb; } }
        </style>
      </head>
      <body>
        <h1>短信备份</h1>
        <p class="count">共 <xsl:value-of select="count(/CONTACTS/VCARD)"/> 条短信</p>
        <xsl:for-each select="/CONTACTS/VCARD[generate-id() =
            generate-id(key('by-number', substring-after(@CONTACTS, '：'))[1])]">
          <xsl:variable name="number" select="substring-after(@CONTACTS, '：')"/>
          <xsl:variable name="key">
            <xsl:for-each select="@CONTACTS">
              <xsl:value-of select="concat(substring(substring(translate(substring-after(., '：'), ' -()', ''), 4), 1, 99 * starts-with(translate(substring-after(., '：'), ' -()', ''), '+86')), substring(substring(translate(substring-after(., '：'), ' -()', ''), 5), 1, 99 * starts-with(translate(substring-after(., '：'), ' -()', ''), '0086')), substring(translate(substring-after(., '：'), ' -()', ''), 1, 99 * not(starts-with(translate(substring-after(., '：'), ' -()', ''), '+86') or starts-with(translate(substring-after(., '：'), ' -()', ''), '0086'))))"/>
            </xsl:for-each>
          </xsl:variable>
          <xsl:variable name="name">
            <xsl:for-each select="$contacts">
              <xsl:value-of select="key('by-phone', $key)[1]/ancestor::VCARD/@TITLE"/>
            </xsl:for-each>
          </xsl:variable>
          <section class="conversation">
            <h2>
              <xsl:choose>
                <xsl:when test="$number != '' and $name != ''">
                  <xsl:value-of select="$name"/>
                  <xsl:text> </xsl:text>
                  <span class="num"><xsl:value-of select="$number"/></span>
                </xsl:when>
                <xsl:when test="$number != ''"><xsl:value-of select="$number"/></xsl:when>
                <xsl:otherwise>（无号码）</xsl:otherwise>
              </xsl:choose>
              <xsl:text> </xsl:text>
              <span class="n">（<xsl:value-of select="count(key('by-number', $number))"/> 条）</span>
            </h2>
            <xsl:apply-templates select="key('by-number', $number)"/>
          </section>
        </xsl:for-each>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="VCARD">
    <xsl:variable name="sent" select="starts-with(@CONTACTS, '到')"/>
    <div>
      <xsl:attribute name="class">
        <xsl:choose>
          <xsl:when test="$sent">msg out</xsl:when>
          <xsl:otherwise>msg in</xsl:otherwise>
        </xsl:choose>
      </xsl:attribute>
      <div class="when">
        <xsl:choose>
          <xsl:when test="$sent">发送 </xsl:when>
          <xsl:otherwise>接收 </xsl:otherwise>
        </xsl:choose>
        <xsl:value-of select="MESSAGE/@Date"/>
        <xsl:text> </xsl:text>
        <xsl:value-of select="normalize-space(MESSAGE/@Time)"/>
      </div>
      <div class="text"><xsl:value-of select="MESSAGE/TEXT"/></div>
    </div>
  </xsl:template>
</xsl:stylesheet>
