<?xml version="1.0" encoding="UTF-8"?>
<!--
  Shows a contacts backup (通讯录.xml) as a page: one table row per contact
  with the fields people look for first, the rest of each record in a
  details line below it. Works in any XSLT 1.0 processor (libxslt, browsers).
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="yes"
              doctype-system="about:legacy-compat"/>

  <xsl:template match="/">
    <html lang="zh-CN">
      <head>
        <meta charset="UTF-8"/>
        <title>通讯录备份</title>
        <style>
          body { font-family: "WenQuanYi Zen Hei", "Noto Sans CJK SC", sans-serif; margin: 1.5em; color: #1b2733; }
          h1 { font-size: 1.4em; margin: 0 0 .2em 0; }
          p.count { color: #56677a; margin: 0 0 1em 0; }
          table { border-collapse: collapse; width: 100%; font-size: .95em; }
          th, td { border: 1px solid #c9d3de; padding: .35em .5em; text-align: left; vertical-align: top; }
          th { background: #1f4f82; color: #fff; }
          tr.contact:nth-child(4n+1) td, tr.details:nth-child(4n+2) td { background: #f3f7fb; }
          tr.details td { font-size: .85em; color: #42505e; border-top: none; }
          td.name { font-weight: bold; }
          span.field { margin-right: 1.2em; white-space: nowrap; }
          span.label { color: #7a8896; }
          @media print { th { background: #ddd; color: #000; } body { margin: 0; } }
        </style>
      </head>
      <body>
        <h1>通讯录备份</h1>
        <p class="count">共 <xsl:value-of select="count(/CONTACTS/VCARD)"/> 位联系人</p>
        <table>
          <thead>
            <tr>
              <th>#</th><th>姓名</th><th>手机</th><th>单位电话</th><th>住宅电话</th>
              <th>电子邮件</th><th>公司</th><th>职务</th>
            </tr>
          </thead>
          <tbody>
            <xsl:apply-templates select="/CONTACTS/VCARD"/>
          </tbody>
        </table>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="VCARD">
    <xsl:variable name="a" select="ADDRESS"/>
    <tr class="contact">
      <td><xsl:value-of select="position()"/></td>
      <td class="name"><xsl:value-of select="@TITLE"/></td>
      <td><xsl:value-of select="$a/MOBILE"/></td>
      <td><xsl:value-of select="$a/WORK1"/></td>
      <td><xsl:value-of select="$a/HOME1"/></td>
      <td><xsl:value-of select="$a/EMAIL1"/></td>
      <td><xsl:value-of select="$a/COMPANY"/></td>
      <td><xsl:value-of select="$a/TITLE"/></td>
    </tr>
    <tr class="details">
      <td></td>
      <td colspan="7">
        <xsl:apply-templates select="$a/*[normalize-space(.) != '' and
            not(self::MOBILE or self::WORK1 or self::HOME1 or self::EMAIL1 or self::COMPANY or self::TITLE or self::FILEAS)]"
            mode="field"/>
        <xsl:if test="normalize-space(WEB) != ''">
          <span class="field"><span class="label">网页：</span><xsl:value-of select="WEB"/></span>
        </xsl:if>
      </td>
    </tr>
  </xsl:template>

  <xsl:template match="*" mode="field">
    <span class="field">
      <span class="label">
        <xsl:choose>
          <xsl:when test="self::FIRST">名：</xsl:when>
          <xsl:when test="self::LAST">姓：</xsl:when>
          <xsl:when test="self::NICKNAME">昵称：</xsl:when>
          <xsl:when test="self::WORK2">单位电话2/传真：</xsl:when>
          <xsl:when test="self::HOME2">住宅电话2/传真：</xsl:when>
          <xsl:when test="self::PAGER">寻呼机：</xsl:when>
          <xsl:when test="self::CAR">车载电话：</xsl:when>
          <xsl:when test="self::ASSIT">助理电话：</xsl:when>
          <xsl:when test="self::RADIO">无线电话：</xsl:when>
          <xsl:when test="self::EMAIL2">电子邮件2：</xsl:when>
          <xsl:when test="self::EMAIL3">电子邮件3：</xsl:when>
          <xsl:when test="self::IM1 or self::IM2 or self::IM3">即时消息：</xsl:when>
          <xsl:when test="self::DEPT">部门：</xsl:when>
          <xsl:when test="self::OFFICE">办公室：</xsl:when>
          <xsl:when test="self::MANAGER">经理：</xsl:when>
          <xsl:when test="self::ASSITANT">助理：</xsl:when>
          <xsl:when test="self::STREET1 or self::CITY1 or self::STATE1 or self::COUNTRY1 or self::ZIP1">单位地址：</xsl:when>
          <xsl:when test="self::STREET2 or self::CITY2 or self::STATE2 or self::COUNTRY2 or self::ZIP2">住宅地址：</xsl:when>
          <xsl:when test="self::STREET3 or self::CITY3 or self::STATE3 or self::COUNTRY3 or self::ZIP3">其他地址：</xsl:when>
          <xsl:when test="self::GOVERMENT">证件号码：</xsl:when>
          <xsl:when test="self::ACCOUNT">帐户：</xsl:when>
          <xsl:when test="self::CUSTOMER">客户号码：</xsl:when>
          <xsl:when test="self::SPOUSE">配偶：</xsl:when>
          <xsl:when test="self::CHILDREN">子女：</xsl:when>
          <xsl:otherwise><xsl:value-of select="name()"/>：</xsl:otherwise>
        </xsl:choose>
      </span>
      <xsl:value-of select="."/>
    </span>
  </xsl:template>
</xsl:stylesheet>
